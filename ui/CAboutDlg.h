#pragma once

#include "skin/CSkinDialog.h"

namespace vm {

// The about box: the program's name and version over the maker's notice. Modal, UI thread.
class CAboutDlg : public CSkinDialog {
  public:
    static constexpr int kVersionId = 1016;

    // Creates the box hidden over owner; DoModal shows it.
    bool Open(HWND owner);
    void Notify(UINotify& notify) override;
};

}  // namespace vm
