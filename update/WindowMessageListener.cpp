#include "update/WindowMessageListener.h"

#include "app/MessageTarget.h"
#include "app/messages.h"

namespace vm {

void WindowMessageListener::OnStatus(const std::string& text) {
    SendStatus(m_window, text);
}

void WindowMessageListener::OnTotalProgress(long done, long count) {
    SendTo(m_window, WM_VM_TOTAL_PROGRESS, static_cast<std::uintptr_t>(done), count);
}

void WindowMessageListener::OnFileProgress(long percent, long count) {
    PostTo(m_window, WM_VM_FILE_PROGRESS, static_cast<std::uintptr_t>(percent), count);
}

UnknownAddOnsDecision WindowMessageListener::OnUnknownAddOns(
    const UnknownAddOnsQuestion& question) {
    const std::intptr_t isolate = SendTo(m_window, WM_VM_CONFIRM_DELETE,
                                         reinterpret_cast<std::uintptr_t>(&question.unknownFiles),
                                         reinterpret_cast<std::intptr_t>(&question.listedFiles));
    return isolate ? UnknownAddOnsDecision::Isolate : UnknownAddOnsDecision::Keep;
}

void WindowMessageListener::OnFilesChanged() {
    PostTo(m_window, WM_VM_FILES_CHANGED);
}

void WindowMessageListener::OnSelfUpdateExit() {
    SendTo(m_window, WM_VM_SELF_UPDATE_EXIT);
}

void WindowMessageListener::OnEnd(UpdateOutcome outcome) {
    PostUpdateEnd(m_window, outcome);
}

}  // namespace vm
