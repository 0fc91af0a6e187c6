#pragma once

#include "app/MessageTarget.h"
#include "update/IUpdateListener.h"

namespace vm {

// The main window's listener: each report of a session becomes the window message it has
// always been, sent where the run waits for the window and posted where it does not
// (WM_VM_STATUS, WM_VM_TOTAL_PROGRESS, WM_VM_CONFIRM_DELETE and WM_VM_SELF_UPDATE_EXIT sent;
// WM_VM_FILE_PROGRESS, WM_VM_FILES_CHANGED and WM_VM_UPDATE_END posted). The window answers
// WM_VM_CONFIRM_DELETE itself, by the same rule. A window that is gone keeps the files.
class WindowMessageListener : public IUpdateListener {
  public:
    explicit WindowMessageListener(TargetRef window) : m_window(std::move(window)) {}

    void OnStatus(const std::string& text) override;
    void OnTotalProgress(long done, long count) override;
    void OnFileProgress(long percent, long count) override;
    UnknownAddOnsDecision OnUnknownAddOns(const UnknownAddOnsQuestion& question) override;
    void OnFilesChanged() override;
    void OnSelfUpdateExit() override;
    void OnEnd(UpdateOutcome outcome) override;

  private:
    TargetRef m_window;
};

}  // namespace vm
