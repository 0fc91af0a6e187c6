#include "skin/CUIWndLayer.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace vm {

bool CUIWndLayer::Create(HWND owner, int left, int top, int right, int bottom, int alpha) {
    alpha_ = std::clamp(alpha, 0, 255);
    if (!CWindowWnd::Create(owner, "", WS_CHILD | WS_DISABLED, 0, left, top, right - left,
                            bottom - top))
        return false;
    // A child widget shows with its parent unless hidden explicitly; the veil waits for Show.
    window_->hide();
    window_->setAttribute(Qt::WA_TransparentForMouseEvents);
    window_->setFocusPolicy(Qt::NoFocus);
    return true;
}

void CUIWndLayer::Show(bool visible) {
    if (!window_) return;
    if (visible) {
        window_->raise();
        window_->show();
    } else {
        window_->hide();
    }
}

void CUIWndLayer::SetOutline(const QPolygon& outline) {
    if (window_) window_->setMask(QRegion(outline, Qt::WindingFill));
}

LRESULT CUIWndLayer::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        if (QPainter* p = window_ ? window_->PaintPainter() : nullptr) {
            p->setCompositionMode(QPainter::CompositionMode_SourceOver);
            p->fillRect(window_->rect(), QColor(0x80, 0x80, 0x80, alpha_));
        }
        return 0;
    }
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

}  // namespace vm
