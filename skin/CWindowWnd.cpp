#include "skin/CWindowWnd.h"

namespace vm {

CWindowWnd::~CWindowWnd() {
    if (m_window) {
        // No calls into a half-destroyed object: unbind first.
        m_window->SetHandler(nullptr);
        m_window->DestroyWindow();
    }
}

HWND CWindowWnd::Create(HWND parent, std::string_view title, std::uint32_t style,
                        std::uint32_t exStyle, int x, int y, int cx, int cy) {
    if (m_window) return nullptr;
    auto* w = new NativeWindow(parent, style, exStyle);  // owned by this object (see dtor)
    w->setObjectName(QString::fromLatin1(GetWindowClassName()));
    w->setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    w->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
    m_window = w;
    m_mailbox = w->Mailbox();
    w->SetHandler(this);
    w->SendMessage(WM_NCCREATE, 0, 0);
    if (w->SendMessage(WM_CREATE, 0, 0) == -1) {
        w->DestroyWindow();
        return nullptr;
    }
    if (!m_window) return nullptr;
    if (style & WS_DISABLED) w->setEnabled(false);
    if (style & WS_VISIBLE) w->show();
    return w;
}

HWND CWindowWnd::Create(HWND parent, std::string_view title, std::uint32_t style,
                        std::uint32_t exStyle, const RECT& rc) {
    return Create(parent, title, style, exStyle, rc.left, rc.top, rc.Width(), rc.Height());
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(msg, wParam, lParam);
}

LRESULT CWindowWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_window ? m_window->DefWindowProc(msg, wParam, lParam) : 0;
}

void CWindowWnd::FinalMessage(HWND hwnd) {
    m_window = nullptr;
    OnFinalMessage(hwnd);  // may delete this object
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
    if (!m_window) return;
    if (!show) {
        m_window->hide();
        return;
    }
    if (!takeFocus) m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    m_window->show();
    if (takeFocus) m_window->activateWindow();
}

void CWindowWnd::CenterWindow() {
    if (m_window) m_window->CenterWindow();
}

void CWindowWnd::MoveWindow(int x, int y, int cx, int cy) {
    if (m_window) m_window->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_mailbox ? m_mailbox->Send(msg, wParam, lParam) : 0;
}

bool CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
    return m_mailbox && m_mailbox->Post(msg, wParam, lParam, std::move(payload));
}

void CWindowWnd::Close() {
    PostMessage(WM_CLOSE);
}

int CWindowWnd::ShowModal() {
    return m_window ? m_window->ShowModal() : 0;
}

}  // namespace vm
