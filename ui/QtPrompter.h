#pragma once

#include "app/Prompter.h"

namespace vm {

// Answers worker message boxes on the UI thread; a call made on the UI thread itself is
// answered directly. Requires a running QApplication.
class QtPrompter : public Prompter {
  public:
    int Prompt(const std::string& text, const std::string& caption, unsigned style) override;
};

}  // namespace vm
