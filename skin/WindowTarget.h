#pragma once

// A window as the MessageTarget workers report to: posts and sends go through the window's
// mailbox, so they are safe from any thread and refused once the window is gone.

#include <memory>

#include "app/MessageTarget.h"
#include "skin/NativeWindow.h"

namespace vm {

class WindowTarget : public MessageTarget {
  public:
    explicit WindowTarget(std::shared_ptr<WindowMailbox> mailbox) : m_mailbox(std::move(mailbox)) {}

    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override {
        return m_mailbox->Send(msg, wParam, lParam);
    }
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload) override {
        return m_mailbox->Post(msg, wParam, lParam, std::move(payload));
    }

  private:
    std::shared_ptr<WindowMailbox> m_mailbox;
};

}  // namespace vm
