#include "skin/CWindowWnd.h"

namespace vm {

CWindowWnd::~CWindowWnd() {
    if (window_) {
        // No calls into a half-destroyed object: unbind first.
        window_->SetHandler(nullptr);
        window_->DestroyWindow();
    }
}

HWND CWindowWnd::Create(HWND parent, std::string_view title, std::uint32_t style,
                        std::uint32_t exStyle, int x, int y, int cx, int cy) {
    if (window_) return nullptr;
    auto* w = new NativeWindow(parent, style, exStyle);  // owned by this object (see dtor)
    w->setObjectName(QString::fromLatin1(GetWindowClassName()));
    w->setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    w->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
    window_ = w;
    mailbox_ = w->Mailbox();
    w->SetHandler(this);
    w->SendMessage(WM_NCCREATE, 0, 0);
    if (w->SendMessage(WM_CREATE, 0, 0) == -1) {
        w->DestroyWindow();
        return nullptr;
    }
    if (!window_) return nullptr;
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
    return window_ ? window_->DefWindowProc(msg, wParam, lParam) : 0;
}

void CWindowWnd::FinalMessage(HWND hwnd) {
    window_ = nullptr;
    OnFinalMessage(hwnd);  // may delete this object
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
    if (!window_) return;
    if (!show) {
        window_->hide();
        return;
    }
    if (!takeFocus) window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->show();
    if (takeFocus) window_->activateWindow();
}

void CWindowWnd::CenterWindow() {
    if (window_) window_->CenterWindow();
}

void CWindowWnd::MoveWindow(int x, int y, int cx, int cy) {
    if (window_) window_->setGeometry(x, y, std::max(cx, 0), std::max(cy, 0));
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return mailbox_ ? mailbox_->Send(msg, wParam, lParam) : 0;
}

bool CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) {
    return mailbox_ && mailbox_->Post(msg, wParam, lParam, std::move(payload));
}

void CWindowWnd::Close() {
    PostMessage(WM_CLOSE);
}

int CWindowWnd::ShowModal() {
    return window_ ? window_->ShowModal() : 0;
}

}  // namespace vm
