#pragma once

// The question what the main window's close button means: minimise to the tray or exit. The
// answer can be remembered in [Misc] CloseMeanMin. Its real effect is the message it posts to
// the main window: kHideMessage (hide to the tray) or kExitMessage (exit with confirmation).
// UI thread only.

#include <cstdint>

#include "app/MessageTarget.h"
#include "app/messages.h"
#include "skin/CSkinDialog.h"

namespace vm {

class CDlgConfirmCloseBtnMean : public CSkinDialog {
  public:
    static constexpr std::uint32_t kHideMessage = WM_USER + 601;
    static constexpr std::uint32_t kExitMessage = WM_USER + 602;
    static constexpr int kWidth = 312;
    static constexpr int kHeight = 180;

    // mainWindow receives the posted answer.
    explicit CDlgConfirmCloseBtnMean(TargetRef mainWindow) : m_mainWindow(std::move(mainWindow)) {}

    // Shows the question over owner; IDYES (6) after minimise, IDCANCEL (2) after exit.
    int Run(HWND owner);
    // Creates the window over owner, hidden, without running it (the gallery, tests).
    bool Open(HWND owner);

    void Notify(UINotify& notify) override;

  protected:
    bool OnInitDialog() override;
    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Answer(bool minimise);

    TargetRef m_mainWindow;
    bool m_answered = false;
};

}  // namespace vm
