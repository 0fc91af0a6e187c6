#include "ui/QtMessageTarget.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <future>

namespace vm {

namespace {

const QEvent::Type kPostEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kSendEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class PostEvent : public QEvent {
  public:
    explicit PostEvent(Message m) : QEvent(kPostEvent), message(std::move(m)) {}
    Message message;
};

// Carries a Send across threads; if the receiver dies before handling it, the event is
// deleted unhandled and the waiting worker gets 0.
class SendEvent : public QEvent {
  public:
    SendEvent(Message m, std::promise<std::intptr_t> p)
        : QEvent(kSendEvent), message(std::move(m)), result(std::move(p)) {}
    ~SendEvent() override {
        if (!answered) result.set_value(0);
    }
    void Answer(std::intptr_t v) {
        result.set_value(v);
        answered = true;
    }
    Message message;
    std::promise<std::intptr_t> result;
    bool answered = false;
};

}  // namespace

class Receiver;

struct QtMessageTarget::State {
    std::mutex mutex;
    Receiver* receiver = nullptr;
    QtMessageTarget::Handler handler;
};

class Receiver : public QObject {
  public:
    Receiver(QObject* parent, std::shared_ptr<QtMessageTarget::State> state)
        : QObject(parent), m_state(std::move(state)) {}
    ~Receiver() override {
        std::lock_guard<std::mutex> g(m_state->mutex);
        m_state->receiver = nullptr;
    }
    bool event(QEvent* e) override {
        if (e->type() == kPostEvent) {
            m_state->handler(static_cast<PostEvent*>(e)->message);
            return true;
        }
        if (e->type() == kSendEvent) {
            auto* s = static_cast<SendEvent*>(e);
            s->Answer(m_state->handler(s->message));
            return true;
        }
        return QObject::event(e);
    }

  private:
    std::shared_ptr<QtMessageTarget::State> m_state;
};

std::shared_ptr<QtMessageTarget> QtMessageTarget::Create(QObject* context, Handler handler) {
    auto state = std::make_shared<State>();
    state->handler = std::move(handler);
    state->receiver = new Receiver(context, state);
    return std::shared_ptr<QtMessageTarget>(new QtMessageTarget(state));
}

bool QtMessageTarget::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                           Payload payload) {
    std::lock_guard<std::mutex> g(m_state->mutex);
    if (!m_state->receiver) return false;
    QCoreApplication::postEvent(m_state->receiver,
                                new PostEvent(Message{msg, wParam, lParam, std::move(payload)}));
    return true;
}

std::intptr_t QtMessageTarget::Send(std::uint32_t msg, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    std::future<std::intptr_t> answer;
    bool direct = false;
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (!m_state->receiver) return 0;
        // On the UI thread itself the handler runs at once: queueing to ourselves would wait
        // forever.
        direct = m_state->receiver->thread() == QThread::currentThread();
        if (!direct) {
            std::promise<std::intptr_t> p;
            answer = p.get_future();
            QCoreApplication::postEvent(
                m_state->receiver, new SendEvent(Message{msg, wParam, lParam, {}}, std::move(p)));
        }
    }
    if (!direct) return answer.get();
    return m_state->handler(Message{msg, wParam, lParam, {}});
}

}  // namespace vm
