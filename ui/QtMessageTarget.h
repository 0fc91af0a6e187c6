#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

#include "app/MessageTarget.h"

namespace vm {

// The Qt side of the message seam. A window creates one with a handler that runs on the
// window's (UI) thread; workers reach it through a TargetRef. Post queues an event; Send from
// another thread blocks until the handler ran (a Send on the UI thread calls it directly).
// When the window's QObject is destroyed the target detaches: later posts return false and a
// pending Send returns 0. The target itself may be released on any thread.
class QtMessageTarget : public MessageTarget {
  public:
    using Handler = std::function<std::intptr_t(const Message&)>;

    // context: the window's QObject; the target stops with it.
    static std::shared_ptr<QtMessageTarget> Create(QObject* context, Handler handler);

    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload = {}) override;

    struct State;

  private:
    explicit QtMessageTarget(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

}  // namespace vm
