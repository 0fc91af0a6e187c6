#pragma once

// The change log of the add-ons: the "ChangeLog" value of the server information in a
// read-only viewer. UI thread only.
//
// The main window opens it from control 18 and on WM_VM_FILES_CHANGED (an update installed
// files); it only closes.

#include <string>

#include "skin/CSkinDialog.h"

namespace vm {

class CSkinEdit;

class CChangeLogDialog : public CSkinDialog {
  public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 400;
    static constexpr int kViewerId = 1027;

    // Shows the change log over owner until it is closed.
    int Run(HWND owner);
    // Creates the window over owner, hidden, without running it (the gallery, tests).
    bool Open(HWND owner);

    // The viewer (a child widget of the window), null before the window exists.
    CSkinEdit* Viewer() const { return m_viewer; }

    void Notify(UINotify& notify) override;
    bool PreTranslateMessage(const MSG& msg) override;

  protected:
    bool OnInitDialog() override;

  private:
    CSkinEdit* m_viewer = nullptr;  // deleted with the window
};

}  // namespace vm
