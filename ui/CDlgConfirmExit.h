#pragma once

// The confirmation before the program exits; "以后不再提示我" switches it off through
// [Misc] ConfirmExit. One process-wide counter keeps a second confirmation from opening while
// one is up. UI thread only.

#include "skin/CSkinDialog.h"

namespace vm {

class CDlgConfirmExit : public CSkinDialog {
  public:
    static constexpr int kWidth = 312;
    static constexpr int kHeight = 169;

    // Shows the question over owner; IDYES (6) for yes, IDCANCEL (2) for no or the close box.
    int Run(HWND owner);
    // Creates the window over owner, hidden, without running it (the gallery, tests).
    bool Open(HWND owner);

    // The main window's "exit with confirmation": true when the program should end now (the
    // caller posts WM_QUIT). Without ConfirmExit 1 that is at once; while a confirmation is
    // already open nothing happens and the answer is false.
    static bool ConfirmExit(HWND owner);
    // Confirmations open right now.
    static int OpenCount();

    void Notify(UINotify& notify) override;

  protected:
    bool OnInitDialog() override;
};

}  // namespace vm
