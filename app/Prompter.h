#pragma once

#include <string>

namespace vm {

// Message-box styles and results, with the Windows values so stored answers keep meaning.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message boxes raised by worker code. The window program answers on the UI thread (a call
// made on the UI thread itself is answered directly), the command line on the terminal, tests
// from a script. Callable from any thread; blocks until answered.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual int Prompt(const std::string& text, const std::string& caption, unsigned style) = 0;
};

}  // namespace vm
