#include "skin/CUIProgressBar.h"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/ControlText.h"
#include "skin/MarkupText.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"

namespace vm {

void CUIProgressBar::SetValue(int value) {
    m_value = std::clamp(value, m_min, std::max(m_min, m_max));
    Invalidate();
}

void CUIProgressBar::SetRange(int minimum, int maximum, bool redraw) {
    m_min = minimum;
    m_max = maximum;
    m_value = std::clamp(m_value, m_min, std::max(m_min, m_max));
    if (redraw) Invalidate();
}

bool CUIProgressBar::LoadImage(int pngNumber, std::string_view module) {
    return LoadPngResource(m_image, pngNumber, module);
}

void CUIProgressBar::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    CUIControl::SetText(text);
}

SIZE CUIProgressBar::EstimateSize(SIZE) {
    return SIZE{m_width, UITheme::Get().FontInfo(1).tmHeight + 4};
}

void CUIProgressBar::PaintImageMode(CDC& dc) {
    const double part = static_cast<double>(m_value) / (m_max - m_min);
    const int fill = std::clamp(static_cast<int>(part * m_image.width()), 0, m_image.width());
    if (fill <= 0) return;
    const int l = m_pos.left;
    const int t = m_pos.top;
    const int b = std::min(m_pos.bottom, t + m_image.height());
    if (!m_slanted) {
        dc.DrawImage(RECT{l, t, l + fill, b}, m_image, RECT{0, 0, fill, b - t});
        return;
    }
    // The leading edge leans by the offset; its top corner stops short of the right end.
    const int off = m_slantOffset;
    int topLeft = l, topRight = l + fill, bottomLeft = l, bottomRight = l + fill;
    if (off >= 0) {
        topRight = std::min(topRight, m_pos.right - off);
        bottomLeft += off;
        bottomRight = topRight + off;
    } else {
        topLeft -= off;
        topRight = std::min(topRight - off, m_pos.right);
        bottomRight = topRight + off;
    }
    QPainterPath path;
    path.moveTo(topLeft, t);
    path.lineTo(topRight, t);
    path.lineTo(bottomRight, b);
    path.lineTo(bottomLeft, b);
    path.closeSubpath();
    QPainter& p = dc.Painter();
    p.save();
    p.setClipPath(path, Qt::IntersectClip);
    const int w = std::min(m_image.width(), fill + std::abs(off));
    dc.DrawImage(RECT{l, t, l + w, b}, m_image, RECT{0, 0, w, b - t});
    p.restore();
}

void CUIProgressBar::PaintTrackMode(CDC& dc) {
    const int half = m_image.width() / 2;
    if (half <= 0) return;
    DrawImage9Grid(dc, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, 0, 0, half,
                   m_image.height(), &m_image, true);
    const double part = static_cast<double>(m_value - m_min) / (m_max - m_min);
    const int fill = std::min(static_cast<int>(std::lround(part * m_pos.Width())), m_pos.Width());
    if (fill <= 0) return;
    DrawImage9Grid(dc, m_pos.left, m_pos.top, m_pos.left + fill, m_pos.bottom, half, 0,
                   std::min(half, fill), m_image.height(), &m_image, true);
}

void CUIProgressBar::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint) || m_image.isNull() || m_max <= m_min) return;
    dc.SaveDC();
    dc.IntersectClip(m_pos);
    const bool imageMode = !m_manager || (!m_manager->GetImage(0).isNull() && m_drawMode != 1);
    if (imageMode) {
        PaintImageMode(dc);
    } else {
        PaintTrackMode(dc);
    }
    if (!m_text.empty()) {
        RECT box = m_pos;
        DrawMarkupText(dc, m_manager, box, m_text, UITheme::Get().Color(26), kNoColor, nullptr,
                       nullptr, m_textStyle | DT_SINGLELINE);
    }
    dc.RestoreDC();
}

}  // namespace vm
