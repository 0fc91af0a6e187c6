#pragma once

#include <functional>

namespace vm {

// Runs the program's main window, modally, on the UI thread. While it runs the window is the
// application's main target (theApp().SetMainTarget), so workers and a second copy reach it;
// it returns once the program is to end: PostQuitMessage (WM_QUIT) ends every modal loop, and
// the call returns then. main.cpp picks the runner.
using MainWindowRunner = std::function<void()>;

// A plain window that shows the status line and comes to the front when a second copy asks;
// the runner until a real main window is given.
void RunPlainMainWindow();

}  // namespace vm
