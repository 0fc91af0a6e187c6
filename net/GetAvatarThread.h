#pragma once

#include <filesystem>
#include <string>

#include "app/CWorkerThread.h"

namespace vm {

// Fetches the logged-in user's picture into the temporary folder and posts
// WM_VM_AVATAR_READY to m_pMainWnd: wParam the uid, the payload the picture's path (empty when
// it could not be had). Started by the main window after a login; deletes itself.
class GetAvatarThread : public CWorkerThread {
  public:
    static constexpr int kPixelSize = 120;

    // Where the pictures go: the program's private temporary folder plus "vmtemp".
    static std::filesystem::path AvatarFolder();

  protected:
    int RunTask() override;
};

}  // namespace vm
