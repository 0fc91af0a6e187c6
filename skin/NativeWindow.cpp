#include "skin/NativeWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <chrono>
#include <future>
#include <utility>

namespace vm {
namespace {

TranslateHook g_translateHook = nullptr;
// Set while a key event is turned into messages.
const QKeyEvent* g_currentKey = nullptr;

// A message posted (or sent from another thread) to a window.
class MessageEvent : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    MessageEvent(UINT m, WPARAM w, LPARAM l) : QEvent(Kind()), msg(m), wParam(w), lParam(l) {}
    // A send whose window went away before handling it answers 0.
    ~MessageEvent() override {
        if (reply && !replied) reply->set_value(0);
    }
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    Payload payload;
    std::shared_ptr<std::promise<LRESULT>> reply;
    bool replied = false;
};

UINT QtKeyToVk(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<UINT>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<UINT>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Backspace:
            return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Shift:
            return VK_SHIFT;
        case Qt::Key_Control:
            return VK_CONTROL;
        case Qt::Key_Alt:
            return VK_MENU;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_PageUp:
            return VK_PRIOR;
        case Qt::Key_PageDown:
            return VK_NEXT;
        case Qt::Key_End:
            return VK_END;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_Insert:
            return VK_INSERT;
        case Qt::Key_Delete:
            return VK_DELETE;
        default:
            return 0;
    }
}

// Runs the key translation before any widget sees a key, like the message loop does. A key
// meant for a Qt child (an edit overlay) is then delivered to it here, so that when the child
// ignores it Qt's propagation stops at our window instead of dispatching it there too.
class KeyTranslator : public QObject {
  public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w) return false;
        if (e == m_delivering) return qobject_cast<NativeWindow*>(w) != nullptr;
        NativeWindow* window = NativeWindow::Containing(w);
        if (!window) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        if (NativeWindow::HandleKeyEvent(w, key, e->type() == QEvent::KeyRelease)) return true;
        if (w == window) return false;
        const QEvent* outer = std::exchange(m_delivering, e);
        QCoreApplication::sendEvent(w, e);
        m_delivering = outer;
        return true;
    }

  private:
    const QEvent* m_delivering = nullptr;
};

void InstallKeyTranslator() {
    static KeyTranslator* translator = nullptr;
    if (translator || !qApp) return;
    translator = new KeyTranslator;  // lives as long as the application
    translator->setParent(qApp);
    qApp->installEventFilter(translator);
}

LPARAM PointParam(const QPoint& p) {
    return MAKELPARAM(p.x(), p.y());
}

}  // namespace

bool IWindowHandler::PreTranslateMessage(const MSG& msg) {
    return NativeWindow::TranslateThroughHook(msg);
}

std::uint32_t GetTickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PostQuitMessage(int code) {
    QCoreApplication::exit(code);
}

bool WindowMailbox::Post(UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
    std::lock_guard lock(m_mutex);
    if (!m_window) return false;
    auto* ev = new MessageEvent(msg, wParam, lParam);
    ev->payload = std::move(payload);
    QCoreApplication::postEvent(m_window, ev);
    return true;
}

LRESULT WindowMailbox::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    std::future<LRESULT> result;
    NativeWindow* sameThread = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!m_window) return 0;
        if (QThread::currentThread() == m_window->thread()) {
            sameThread = m_window;  // cannot go away under us: only this thread deletes it
        } else {
            auto* ev = new MessageEvent(msg, wParam, lParam);
            ev->reply = std::make_shared<std::promise<LRESULT>>();
            result = ev->reply->get_future();
            QCoreApplication::postEvent(m_window, ev);
        }
    }
    if (sameThread) return sameThread->SendMessage(msg, wParam, lParam);
    return result.get();
}

NativeWindow::NativeWindow(QWidget* parent, std::uint32_t style, std::uint32_t exStyle)
    : QWidget(parent, (style & WS_CHILD)
                          ? Qt::Widget
                          : Qt::Window | Qt::FramelessWindowHint |
                                ((exStyle & WS_EX_TOOLWINDOW) ? Qt::Tool : Qt::Window)),
      m_style(style),
      m_exStyle(exStyle),
      m_mailbox(std::make_shared<WindowMailbox>()) {
    m_mailbox->m_window = this;
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // A child window lets its parent show through wherever it paints nothing.
    if (!(style & WS_CHILD)) setAttribute(Qt::WA_OpaquePaintEvent);
    InstallKeyTranslator();
}

NativeWindow::~NativeWindow() {
    if (!m_destroyed) EndOfLife();
}

void NativeWindow::EndOfLife() {
    Dispatch(WM_DESTROY, 0, 0);
    Dispatch(WM_NCDESTROY, 0, 0);
    m_destroyed = true;
    IWindowHandler* handler = std::exchange(m_handler, nullptr);
    if (handler) handler->FinalMessage(this);
    std::lock_guard lock(m_mailbox->m_mutex);
    m_mailbox->m_window = nullptr;
}

NativeWindow* NativeWindow::FromHwnd(HWND hwnd) {
    return qobject_cast<NativeWindow*>(hwnd);
}

NativeWindow* NativeWindow::Containing(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* n = qobject_cast<NativeWindow*>(w)) return n;
    }
    return nullptr;
}

void NativeWindow::SetTranslateHook(TranslateHook hook) {
    g_translateHook = hook;
}

bool NativeWindow::TranslateThroughHook(const MSG& msg) {
    return g_translateHook && g_translateHook(msg);
}

LRESULT NativeWindow::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_handler) return m_handler->HandleMessage(msg, wParam, lParam);
    if (m_destroyed) return 0;
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT NativeWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (QThread::currentThread() != thread()) return m_mailbox->Send(msg, wParam, lParam);
    if (m_destroyed) return 0;
    return Dispatch(msg, wParam, lParam);
}

bool NativeWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
    return m_mailbox->Post(msg, wParam, lParam, std::move(payload));
}

LRESULT NativeWindow::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CLOSE:
            DestroyWindow();
            return 0;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_SETCURSOR:
            setCursor(Qt::ArrowCursor);
            return 1;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            // The class background: solid grey.
            if (m_paintPainter) {
                m_paintPainter->fillRect(QRect(m_paintRect.left, m_paintRect.top,
                                               m_paintRect.Width(), m_paintRect.Height()),
                                         QColor(0x80, 0x80, 0x80));
            }
            return 0;
        default:
            return 0;
    }
}

void NativeWindow::DestroyWindow() {
    if (m_destroyed) return;
    for (auto& [id, qtId] : m_timers) killTimer(qtId);
    m_timers.clear();
    if (m_hoverTimer) killTimer(m_hoverTimer);
    m_hoverTimer = 0;
    hide();
    EndOfLife();
    if (m_modalLoop) m_modalLoop->exit(0);
    deleteLater();
}

bool NativeWindow::SetTimer(std::uintptr_t id, UINT elapseMs) {
    if (m_destroyed) return false;
    KillTimer(id);
    const int qtId = startTimer(static_cast<int>(std::max<UINT>(elapseMs, 1)), Qt::PreciseTimer);
    if (qtId == 0) return false;
    m_timers[id] = qtId;
    return true;
}

bool NativeWindow::KillTimer(std::uintptr_t id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return false;
    killTimer(it->second);
    m_timers.erase(it);
    return true;
}

void NativeWindow::TrackMouse(int hoverMs) {
    m_trackHover = true;
    m_trackLeave = true;
    m_hoverMs = std::max(hoverMs, 1);
    if (m_hoverTimer) killTimer(m_hoverTimer);
    m_hoverTimer = startTimer(m_hoverMs);
}

void NativeWindow::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_hoverTimer) {
        killTimer(m_hoverTimer);
        m_hoverTimer = 0;
        if (m_trackHover) {
            m_trackHover = false;
            Dispatch(WM_MOUSEHOVER, 0, MAKELPARAM(m_lastMouse.x, m_lastMouse.y));
        }
        return;
    }
    for (auto& [id, qtId] : m_timers) {
        if (qtId == e->timerId()) {
            const std::uintptr_t ourId = id;  // the handler may kill this timer
            Dispatch(WM_TIMER, ourId, 0);
            return;
        }
    }
    QWidget::timerEvent(e);
}

bool NativeWindow::event(QEvent* e) {
    if (e->type() == MessageEvent::Kind()) {
        auto* m = static_cast<MessageEvent*>(e);
        if (m_destroyed) return true;
        Payload* previous = m_currentPayload;
        m_currentPayload = &m->payload;
        const LRESULT r = Dispatch(m->msg, m->wParam, m->lParam);
        m_currentPayload = previous;
        if (m->reply) {
            m->reply->set_value(r);
            m->replied = true;
        }
        return true;
    }
    switch (e->type()) {
        case QEvent::WindowBlocked:
            m_blocked = true;
            ReportEnabled();
            break;
        case QEvent::WindowUnblocked:
            m_blocked = false;
            ReportEnabled();
            break;
        case QEvent::EnabledChange:
            ReportEnabled();
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

void NativeWindow::ReportEnabled() {
    const bool enabled = IsWindowEnabled();
    if (enabled == m_reportedEnabled) return;
    m_reportedEnabled = enabled;
    Dispatch(WM_ENABLE, enabled ? 1 : 0, 0);
}

void NativeWindow::paintEvent(QPaintEvent* e) {
    QPainter painter(this);
    m_paintPainter = &painter;
    const QRect r = e->rect();
    m_paintRect = RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    Dispatch(WM_PAINT, 0, 0);
    m_paintPainter = nullptr;
}

void NativeWindow::resizeEvent(QResizeEvent*) {
    Dispatch(WM_SIZE, SIZE_RESTORED, MAKELPARAM(width(), height()));
}

WPARAM NativeWindow::MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) const {
    WPARAM k = 0;
    if (buttons & Qt::LeftButton) k |= MK_LBUTTON;
    if (buttons & Qt::RightButton) k |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) k |= MK_MBUTTON;
    if (mods & Qt::ShiftModifier) k |= MK_SHIFT;
    if (mods & Qt::ControlModifier) k |= MK_CONTROL;
    return k;
}

void NativeWindow::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    const WPARAM keys = MouseKeyState(e->buttons(), e->modifiers());
    if (e->button() == Qt::LeftButton) {
        if (!IsChild() &&
            Dispatch(WM_NCHITTEST, 0, PointParam(e->globalPosition().toPoint())) == HTCAPTION) {
            // The caption drags the window: the system move where the platform offers one.
            QWindow* handle = windowHandle();
            if (!handle || !handle->startSystemMove()) {
                m_dragging = true;
                m_dragOffset = e->globalPosition().toPoint() - pos();
            }
            return;
        }
        Dispatch(WM_LBUTTONDOWN, keys, PointParam(p));
    } else if (e->button() == Qt::RightButton) {
        Dispatch(WM_RBUTTONDOWN, keys, PointParam(p));
    }
}

void NativeWindow::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    const WPARAM keys = MouseKeyState(e->buttons(), e->modifiers());
    if (e->button() == Qt::LeftButton) {
        if (m_dragging) {
            m_dragging = false;
            return;
        }
        Dispatch(WM_LBUTTONUP, keys, PointParam(p));
    } else if (e->button() == Qt::RightButton) {
        Dispatch(WM_RBUTTONUP, keys, PointParam(p));
    }
}

void NativeWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    Dispatch(WM_LBUTTONDBLCLK, MouseKeyState(e->buttons(), e->modifiers()), PointParam(p));
}

void NativeWindow::mouseMoveEvent(QMouseEvent* e) {
    if (m_dragging) {
        move(e->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    const QPoint p = e->position().toPoint();
    m_lastMouse = {p.x(), p.y()};
    if (m_trackHover && m_hoverTimer) {
        killTimer(m_hoverTimer);
        m_hoverTimer = startTimer(m_hoverMs);
    }
    QPointer<NativeWindow> self(this);
    Dispatch(WM_SETCURSOR, reinterpret_cast<WPARAM>(this), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    if (!self) return;
    Dispatch(WM_MOUSEMOVE, MouseKeyState(e->buttons(), e->modifiers()), PointParam(p));
}

void NativeWindow::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta == 0) return;
    const WPARAM keys = MouseKeyState(e->buttons(), e->modifiers());
    Dispatch(WM_MOUSEWHEEL, MAKEWPARAM(static_cast<int>(keys), delta),
             PointParam(e->globalPosition().toPoint()));
}

void NativeWindow::leaveEvent(QEvent*) {
    if (m_hoverTimer) killTimer(m_hoverTimer);
    m_hoverTimer = 0;
    m_trackHover = false;
    if (m_trackLeave) {
        m_trackLeave = false;
        Dispatch(WM_MOUSELEAVE, 0, 0);
    }
}

void NativeWindow::focusInEvent(QFocusEvent*) {
    Dispatch(WM_SETFOCUS, 0, 0);
}
void NativeWindow::focusOutEvent(QFocusEvent*) {
    Dispatch(WM_KILLFOCUS, 0, 0);
}

void NativeWindow::keyPressEvent(QKeyEvent* e) {
    HandleKeyEvent(this, e, false);
}
void NativeWindow::keyReleaseEvent(QKeyEvent* e) {
    HandleKeyEvent(this, e, true);
}

Qt::KeyboardModifiers NativeWindow::CurrentModifiers() {
    return g_currentKey ? g_currentKey->modifiers() : QGuiApplication::queryKeyboardModifiers();
}

bool NativeWindow::HandleKeyEvent(QWidget* receiver, QKeyEvent* e, bool release) {
    NativeWindow* window = Containing(receiver);
    if (!window || window->m_destroyed) return false;
    const QKeyEvent* outer = std::exchange(g_currentKey, e);
    struct Restore {
        const QKeyEvent* previous;
        ~Restore() { g_currentKey = previous; }
    } restore{outer};
    const UINT vk = QtKeyToVk(e->key());
    const bool alt = (e->modifiers() & Qt::AltModifier) || e->key() == Qt::Key_Alt;
    MSG msg;
    msg.hwnd = receiver;
    msg.time = GetTickCount();
    msg.wParam = vk;
    msg.lParam = 1 | (alt ? (1 << 29) : 0) | (release ? (3u << 30) : 0);
    const bool own = receiver == window;
    IWindowHandler* handler = window->m_handler;
    auto translate = [&](const MSG& m) {
        return handler ? handler->PreTranslateMessage(m) : TranslateThroughHook(m);
    };
    QPointer<NativeWindow> guard(window);
    if (release) {
        msg.message = alt ? WM_SYSKEYUP : WM_KEYUP;
        if (vk == 0) return false;
        if (translate(msg)) return true;
        if (!own || !guard) return false;
        window->Dispatch(msg.message, msg.wParam, msg.lParam);
        return true;
    }
    MSG charMsg = msg;
    const QString text = e->text();
    const bool hasChar = !text.isEmpty() && text.at(0).unicode() != 0x7F;
    charMsg.message = alt ? WM_SYSCHAR : WM_CHAR;
    charMsg.wParam = hasChar ? text.at(0).unicode() : 0;
    if (alt && hasChar) charMsg.wParam = text.at(0).toLower().unicode();
    if (vk != 0 || !hasChar) {
        msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        if (vk == 0) return false;
        if (translate(msg)) return true;
        if (!guard) return true;
        if (own) window->Dispatch(msg.message, msg.wParam, msg.lParam);
    }
    if (!guard) return true;
    bool charEaten = false;
    if (hasChar) {
        charEaten = translate(charMsg);
        if (!charEaten && own && guard)
            window->Dispatch(charMsg.message, charMsg.wParam, charMsg.lParam);
    }
    return own || charEaten;
}

void NativeWindow::closeEvent(QCloseEvent* e) {
    if (m_destroyed) {
        e->accept();
        return;
    }
    // The handler decides; the default closes through DestroyWindow.
    e->ignore();
    Dispatch(WM_CLOSE, 0, 0);
}

int NativeWindow::ShowModal() {
    QPointer<NativeWindow> self(this);
    if (m_destroyed) return 0;
    QWidget* owner = IsChild() ? nullptr : parentWidget();
    if (owner && windowModality() != Qt::WindowModal) {
        // Modality takes effect when a window is shown; a box already on screen shows again.
        if (isVisible()) hide();
        setWindowModality(Qt::WindowModal);
    }
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    m_modalLoop = &loop;
    m_modalResult = 0;
    int result = 0;
    if (!m_destroyed) loop.exec(QEventLoop::DialogExec);
    if (self) {
        m_modalLoop = nullptr;
        result = m_modalResult;
    } else {
        result = 0;
    }
    if (owner) {
        owner->activateWindow();
        owner->raise();
        owner->setFocus();
    }
    return result;
}

void NativeWindow::EndModal(int result) {
    m_modalResult = result;
    DestroyWindow();
}

void NativeWindow::CenterWindow() {
    QRect area;
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    area = owner ? owner->frameGeometry() : work;
    QPoint topLeft(area.left() + (area.width() - width()) / 2,
                   area.top() + (area.height() - height()) / 2);
    topLeft.setX(
        std::clamp(topLeft.x(), work.left(), std::max(work.left(), work.right() + 1 - width())));
    topLeft.setY(
        std::clamp(topLeft.y(), work.top(), std::max(work.top(), work.bottom() + 1 - height())));
    move(topLeft);
}

}  // namespace vm
