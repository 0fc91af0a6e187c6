#pragma once

// The Qt widget behind every window of the skinned library. It turns Qt's events into the
// window messages the library is written against (Windows numbers and parameter packing), so
// controls and windows read like their description and tests can drive them with messages
// directly. Key messages pass the process-wide translation first, through an application-wide
// event filter, so Tab, Return and Escape also work while a Qt child has the keyboard.
//
// Threads: everything runs on the UI thread, except Mailbox(), whose Post and Send may be
// called from any thread. Ownership: whoever creates the window owns it (CWindowWnd keeps a
// QPointer and destroys it); DestroyWindow() ends it early and deletes it later.

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "app/MessageTarget.h"
#include "skin/IWindowHandler.h"
#include "skin/WinMessages.h"

class QEventLoop;
class QPainter;

namespace vm {

class NativeWindow;

// Thread-safe handle for posting and sending to one window; outlives the window and then
// refuses messages.
class WindowMailbox {
  public:
    // False when the window is gone.
    bool Post(UINT msg, WPARAM wParam, LPARAM lParam, Payload payload = {});
    // Blocks until the window handled it; 0 when the window is gone first. On the UI thread
    // the message is handled directly; elsewhere the UI thread must not be waiting for the
    // caller meanwhile (it would never get to the message).
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    friend class NativeWindow;
    std::mutex m_mutex;
    NativeWindow* m_window = nullptr;
};

// The process-wide key translation (the skin manager installs it).
using TranslateHook = bool (*)(const MSG& msg);

std::uint32_t GetTickCount();
// Ends every running message loop with `code`; a modal loop returns.
void PostQuitMessage(int code);

class NativeWindow : public QWidget {
    Q_OBJECT
  public:
    // `style` WS_CHILD makes a child of `parent`; otherwise a top-level window owned by it.
    NativeWindow(QWidget* parent, std::uint32_t style, std::uint32_t exStyle = 0);
    ~NativeWindow() override;

    static NativeWindow* FromHwnd(HWND hwnd);
    // The window itself or the nearest NativeWindow above a Qt child.
    static NativeWindow* Containing(QWidget* widget);
    static void SetTranslateHook(TranslateHook hook);
    static bool TranslateThroughHook(const MSG& msg);

    void SetHandler(IWindowHandler* handler) { m_handler = handler; }
    IWindowHandler* Handler() const { return m_handler; }
    std::uint32_t Style() const { return m_style; }
    std::uint32_t ExStyle() const { return m_exStyle; }
    bool IsChild() const { return (m_style & WS_CHILD) != 0; }
    bool IsDestroyed() const { return m_destroyed; }

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Payload payload = {});
    std::shared_ptr<WindowMailbox> Mailbox() const { return m_mailbox; }
    // While a posted message with a payload is being handled: its payload (else null).
    Payload* CurrentPayload() const { return m_currentPayload; }

    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // WM_DESTROY and WM_NCDESTROY to the handler, then the widget goes (deleted later).
    void DestroyWindow();

    bool SetTimer(std::uintptr_t id, UINT elapseMs);
    bool KillTimer(std::uintptr_t id);
    // Arms WM_MOUSEHOVER (after `hoverMs` without movement) and WM_MOUSELEAVE, once each.
    void TrackMouse(int hoverMs);
    bool IsWindowEnabled() const { return isEnabled() && !m_blocked; }

    // Paint target while WM_PAINT is handled inside a Qt paint event (else null).
    QPainter* PaintPainter() const { return m_paintPainter; }
    RECT PaintRect() const { return m_paintRect; }
    RECT ClientRect() const { return RECT{0, 0, width(), height()}; }
    // Client position of the latest mouse event (also while WM_SETCURSOR is handled).
    POINT LastMousePos() const { return m_lastMouse; }

    // Shows the window and runs a message loop until it is destroyed; the owner is blocked
    // (WM_ENABLE FALSE) meanwhile, and is activated again afterwards. Returns the value given
    // to EndModal, else 0.
    int ShowModal();
    void EndModal(int result);
    void CenterWindow();

    // Modifiers of the key event being translated or dispatched, else the keyboard's.
    static Qt::KeyboardModifiers CurrentModifiers();
    // Key handling shared by the event filter and the window's own key events.
    static bool HandleKeyEvent(QWidget* receiver, class QKeyEvent* e, bool release);

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

  private:
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    // WM_DESTROY, WM_NCDESTROY, the handler's final message; the mailbox refuses from now on.
    void EndOfLife();
    void ReportEnabled();
    WPARAM MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) const;

    IWindowHandler* m_handler = nullptr;
    std::uint32_t m_style = 0;
    std::uint32_t m_exStyle = 0;
    bool m_destroyed = false;
    bool m_blocked = false;
    bool m_reportedEnabled = true;
    std::shared_ptr<WindowMailbox> m_mailbox;
    Payload* m_currentPayload = nullptr;
    std::map<std::uintptr_t, int> m_timers;  // our id -> Qt timer id
    int m_hoverTimer = 0;
    int m_hoverMs = 0;
    bool m_trackHover = false;
    bool m_trackLeave = false;
    POINT m_lastMouse{-1, -1};
    bool m_dragging = false;
    QPoint m_dragOffset;
    QPainter* m_paintPainter = nullptr;
    RECT m_paintRect;
    QEventLoop* m_modalLoop = nullptr;
    int m_modalResult = 0;
};

}  // namespace vm
