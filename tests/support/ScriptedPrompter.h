#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/Prompter.h"

namespace vm::test {

// A Prompter that records every message box and answers from a queue of results; once the
// queue is empty it answers the default (IDOK unless changed). Callable from any thread.
class ScriptedPrompter : public Prompter {
  public:
    struct Shown {
        std::string text;
        std::string caption;
        unsigned style = 0;
    };

    explicit ScriptedPrompter(int defaultAnswer = IDOK) : m_default(defaultAnswer) {}

    void Queue(int answer);
    int Prompt(const std::string& text, const std::string& caption, unsigned style) override;
    std::vector<Shown> History() const;
    // Texts only, in order.
    std::vector<std::string> Texts() const;
    void Clear();

  private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<Shown> m_history;
    int m_default;
};

}  // namespace vm::test
