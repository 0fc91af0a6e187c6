#include "skin/CUIWndLayer.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace vm {

bool CUIWndLayer::Create(HWND owner, int left, int top, int right, int bottom, int alpha) {
    m_alpha = std::clamp(alpha, 0, 255);
    if (!CWindowWnd::Create(owner, "", WS_CHILD | WS_DISABLED, 0, left, top, right - left,
                            bottom - top))
        return false;
    // A child widget shows with its parent unless hidden explicitly; the veil waits for Show.
    m_window->hide();
    m_window->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_window->setFocusPolicy(Qt::NoFocus);
    return true;
}

void CUIWndLayer::Show(bool visible) {
    if (!m_window) return;
    if (visible) {
        m_window->raise();
        m_window->show();
    } else {
        m_window->hide();
    }
}

void CUIWndLayer::SetOutline(const QPolygon& outline) {
    if (m_window) m_window->setMask(QRegion(outline, Qt::WindingFill));
}

LRESULT CUIWndLayer::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        if (QPainter* p = m_window ? m_window->PaintPainter() : nullptr) {
            p->setCompositionMode(QPainter::CompositionMode_SourceOver);
            p->fillRect(m_window->rect(), QColor(0x80, 0x80, 0x80, m_alpha));
        }
        return 0;
    }
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

}  // namespace vm
