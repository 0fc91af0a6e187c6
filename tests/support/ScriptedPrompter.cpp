#include "tests/support/ScriptedPrompter.h"

namespace vm::test {

void ScriptedPrompter::Queue(int answer) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_answers.push_back(answer);
}

int ScriptedPrompter::Prompt(const std::string& text, const std::string& caption, unsigned style) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_history.push_back({text, caption, style});
    if (m_answers.empty()) return m_default;
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::vector<ScriptedPrompter::Shown> ScriptedPrompter::History() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_history;
}

std::vector<std::string> ScriptedPrompter::Texts() const {
    std::vector<std::string> out;
    for (auto& s : History()) out.push_back(s.text);
    return out;
}

void ScriptedPrompter::Clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_history.clear();
    m_answers.clear();
}

}  // namespace vm::test
