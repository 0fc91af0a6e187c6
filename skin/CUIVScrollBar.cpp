#include "skin/CUIVScrollBar.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/NativeWindow.h"
#include "skin/UIRender.h"

namespace vm {
namespace {

constexpr int kCellW = 15;
constexpr int kCellH = 16;

QImage MakeDefaultImage() {
    QImage img(kCellW * 4, kCellH * 6, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor track(48, 26, 78);
    const QColor face[4] = {QColor(105, 62, 133), QColor(138, 92, 176), QColor(78, 44, 108),
                            QColor(82, 70, 92)};
    const QColor glyph[4] = {QColor(221, 205, 255), QColor(255, 255, 255), QColor(200, 180, 240),
                             QColor(130, 120, 140)};
    for (int col = 0; col < 4; ++col) {
        const int x = col * kCellW;
        for (int row = 0; row < 2; ++row) {
            const QRectF cell(x + 0.5, row * kCellH + 0.5, kCellW - 1, kCellH - 1);
            p.setPen(QPen(face[col].lighter(125), 1));
            p.setBrush(face[col]);
            p.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
            const double cx = x + kCellW / 2.0;
            const double cy = row * kCellH + kCellH / 2.0;
            QPainterPath arrow;
            if (row == 0) {
                arrow.moveTo(cx, cy - 3);
                arrow.lineTo(cx + 4, cy + 2);
                arrow.lineTo(cx - 4, cy + 2);
            } else {
                arrow.moveTo(cx, cy + 3);
                arrow.lineTo(cx + 4, cy - 2);
                arrow.lineTo(cx - 4, cy - 2);
            }
            arrow.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(glyph[col]);
            p.drawPath(arrow);
        }
        // Track: a dark groove with a faint centre line.
        p.fillRect(QRect(x, 2 * kCellH, kCellW, kCellH), col == 1 ? track.lighter(120) : track);
        p.fillRect(QRect(x + kCellW / 2, 2 * kCellH, 1, kCellH), track.lighter(140));
        // Thumb: a rounded bar with a light edge.
        p.setPen(QPen(face[col].lighter(140), 1));
        p.setBrush(face[col]);
        p.drawRoundedRect(QRectF(x + 1.5, 3 * kCellH + 0.5, kCellW - 3, kCellH - 1), 3, 3);
        // Grip: three short ridges.
        p.setPen(QPen(glyph[col], 1));
        for (int i = 0; i < 3; ++i) {
            const double y = 4 * kCellH + 5.5 + i * 2.5;
            p.drawLine(QPointF(x + 4.5, y), QPointF(x + kCellW - 4.5, y));
        }
        // Spare row: the corner between two bars.
        p.fillRect(QRect(x, 5 * kCellH, kCellW, kCellH), track);
    }
    return img;
}

}  // namespace

const QImage& DefaultScrollBarImage() {
    static const QImage image = MakeDefaultImage();
    return image;
}

CUIVScrollBar::CUIVScrollBar() {
    SetImage(DefaultScrollBarImage());
}

void* CUIVScrollBar::GetInterface(std::string_view name) {
    if (name == "ScrollBar") return static_cast<IScrollBarUI*>(this);
    return CUIControl::GetInterface(name);
}

void CUIVScrollBar::SetImage(const QImage& image) {
    m_image = image.copy();
    m_cellWidth = m_image.width() / 4;
    m_cellHeight = m_image.height() / 6;
    const int rows[7] = {0, 1, 2, 2, 3, 4, 5};
    for (int i = 0; i < 7; ++i) {
        m_source[static_cast<std::size_t>(i)] =
            RECT{0, rows[i] * m_cellHeight, m_cellWidth, (rows[i] + 1) * m_cellHeight};
    }
    Layout();
}

void CUIVScrollBar::ApplySkin(const ScrollBarSkin* skin) {
    if (!skin || skin->image.isNull()) {
        SetImage(DefaultScrollBarImage());
        return;
    }
    SetImage(skin->image);
    for (std::size_t i = 0; i < 7; ++i) {
        if (!skin->parts[i].IsEmpty()) m_source[i] = skin->parts[i];
    }
}

int CUIVScrollBar::GetBarWidth() const {
    return m_fixedWidth > 0 ? m_fixedWidth : m_cellWidth;
}

void CUIVScrollBar::SetRange(int minimum, int maximum, bool redraw) {
    m_min = minimum;
    m_max = std::max(minimum, maximum);
    m_page = std::min(m_page, m_max);
    m_position = std::clamp(m_position, m_min, MaxPos());
    Layout();
    if (redraw) Invalidate();
}

void CUIVScrollBar::GetRange(int& minimum, int& maximum) const {
    minimum = m_min;
    maximum = m_max;
}

void CUIVScrollBar::SetPage(int page) {
    m_page = std::max(0, std::min(m_max, page));
    m_position = std::clamp(m_position, m_min, MaxPos());
    Layout();
}

void CUIVScrollBar::SetScrollPos(int pos, bool redraw) {
    m_position = std::clamp(pos, m_min, MaxPos());
    Layout();
    if (redraw) Invalidate();
}

void CUIVScrollBar::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    Layout();
}

void CUIVScrollBar::Layout() {
    const RECT& r = m_pos;
    const int arrow = ArrowHeight();
    const int track = std::max(0, r.Height() - 2 * arrow);
    const int range = m_max - m_min;
    double len = range > 0 ? static_cast<double>(track) * m_page / range : track;
    len = std::min<double>(std::max<double>(len, 2.0 * arrow), track);
    m_thumbLength = len;
    const int span = range - m_page;
    double top = r.top + arrow;
    if (span > 0) top += static_cast<double>(m_position - m_min) / span * (track - len);
    // The margin keeps the thumb clear of the arrows; a thumb too long to keep it both ways
    // (a page that nearly fills the range) only stays off the arrows.
    const double lowest = r.top + arrow + m_margin;
    const double highest = r.bottom - arrow - m_margin - len;
    if (highest >= lowest) {
        top = std::clamp<double>(top, lowest, highest);
    } else {
        top = std::clamp<double>(top, r.top + arrow,
                                 std::max<double>(r.top + arrow, r.bottom - arrow - len));
    }
    const int thumbTop = static_cast<int>(std::lround(top));
    const int thumbBottom = thumbTop + static_cast<int>(std::lround(len));
    m_part[Thumb] = RECT{r.left, thumbTop, r.right, thumbBottom};
    m_part[UpArrow] = RECT{r.left, r.top, r.right, r.top + arrow};
    m_part[DownArrow] = RECT{r.left, r.bottom - arrow, r.right, r.bottom};
    m_part[UpperTrack] = RECT{r.left, r.top + arrow, r.right, thumbTop};
    m_part[LowerTrack] = RECT{r.left, thumbBottom, r.right, r.bottom - arrow};
}

void CUIVScrollBar::Request(WPARAM code) {
    if (!m_parent) return;
    UIEvent e;
    e.type = UIEventType::VScroll;
    e.sender = this;
    e.timestamp = GetTickCount();
    if (m_manager) e.mouse = m_manager->GetMousePos();
    e.wParam = code;
    m_parent->Event(e);
}

bool CUIVScrollBar::Step(int delta, WPARAM code) {
    const int old = m_position;
    SetScrollPos(m_position + delta);
    if (m_position == old) return false;
    Request(code);
    if (m_manager) m_manager->SendNotify(this, UINotifyCode::Scroll);
    return true;
}

void CUIVScrollBar::Event(UIEvent& event) {
    const bool inContainer = m_parent && m_parent->GetInterface("Container");
    if (!inContainer || !IsEnabled()) {
        CUIControl::Event(event);
        return;
    }
    const POINT pt = event.mouse;
    switch (event.type) {
        case UIEventType::ButtonDown:
        case UIEventType::DblClick: {
            Layout();
            if (m_part[Thumb].Contains(pt)) {
                m_state[Thumb] |= UISTATE_PUSHED | UISTATE_CAPTURED;
                m_dragStart = pt;
                m_dragThumbTop = m_part[Thumb].top;
                Invalidate();
                return;
            }
            const struct {
                Part part;
                int delta;
                WPARAM code;
            } steps[] = {{UpArrow, -m_line, SB_LINEUP},
                         {DownArrow, m_line, SB_LINEDOWN},
                         {UpperTrack, -m_page, SB_PAGEUP},
                         {LowerTrack, m_page, SB_PAGEDOWN}};
            for (const auto& s : steps) {
                if (!m_part[s.part].Contains(pt)) continue;
                m_state[s.part] |= UISTATE_PUSHED | UISTATE_CAPTURED;
                Step(s.delta, s.code);
                if (m_manager) m_manager->SetTimer(this, kRepeatTimer, kRepeatMs);
                Invalidate();
                return;
            }
            return;
        }
        case UIEventType::Timer:
            if (event.wParam == kRepeatTimer) {
                if (m_state[UpArrow] & UISTATE_CAPTURED) Step(-m_line, SB_LINEUP);
                if (m_state[DownArrow] & UISTATE_CAPTURED) Step(m_line, SB_LINEDOWN);
                if (m_state[UpperTrack] & UISTATE_CAPTURED) Step(-m_page, SB_PAGEUP);
                if (m_state[LowerTrack] & UISTATE_CAPTURED) Step(m_page, SB_PAGEDOWN);
                return;
            }
            break;
        case UIEventType::MouseMove:
            if (m_state[Thumb] & UISTATE_CAPTURED) {
                const int arrow = ArrowHeight();
                const double track = m_pos.Height() - 2.0 * arrow;
                const double room = track - m_thumbLength;
                if (room <= 0) return;
                const double offset = m_dragThumbTop + (pt.y - m_dragStart.y) - m_pos.top - arrow;
                double pos = m_min + offset / room * (MaxPos() - m_min);
                // Whole lines only.
                pos = std::round((pos - m_min) / m_line) * m_line + m_min;
                const int old = m_position;
                SetScrollPos(static_cast<int>(pos));
                if (m_position != old) {
                    Request(SB_THUMBPOSITION);
                    if (m_manager) m_manager->SendNotify(this, UINotifyCode::Scroll);
                }
                return;
            } else {
                bool changed = false;
                const bool onThumb = m_part[Thumb].Contains(pt);
                for (int i = 0; i < PartCount; ++i) {
                    bool hot = m_part[i].Contains(pt);
                    // The thumb lights the whole track.
                    if (onThumb && (i == UpperTrack || i == LowerTrack)) hot = true;
                    const UINT s = hot ? (m_state[i] | UISTATE_HOT) : (m_state[i] & ~UISTATE_HOT);
                    changed |= s != m_state[i];
                    m_state[static_cast<std::size_t>(i)] = s;
                }
                if (changed) Invalidate();
            }
            break;
        case UIEventType::ButtonUp:
            for (UINT& s : m_state) s &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            SetScrollPos(m_position);
            if (m_manager) m_manager->KillTimer(this, kRepeatTimer);
            Invalidate();
            return;
        case UIEventType::ScrollWheel:
            if (event.wParam == 0) {
                Step(-m_line, SB_LINEUP);
            } else {
                Step(m_line, SB_LINEDOWN);
            }
            return;
        case UIEventType::MouseLeave:
            for (UINT& s : m_state) s &= ~UISTATE_HOT;
            Invalidate();
            break;
        default:
            break;
    }
    CUIControl::Event(event);
}

void CUIVScrollBar::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    Layout();
    dc.FillRect(m_pos, 0xFFFFFF);
    if (m_image.isNull()) return;
    auto column = [&](UINT state) {
        if (!IsEnabled()) return 3;
        if (state & UISTATE_PUSHED) return 2;
        if (state & UISTATE_HOT) return 1;
        return 0;
    };
    auto draw = [&](const RECT& dest, const RECT& src, UINT state) {
        if (dest.IsEmpty() || src.IsEmpty()) return;
        RECT s = src;
        s.Offset(column(state) * m_cellWidth, 0);
        dc.DrawImage(dest, m_image, s);
    };
    draw(m_part[UpperTrack], m_source[SrcUpperTrack], m_state[UpperTrack]);
    draw(m_part[LowerTrack], m_source[SrcLowerTrack], m_state[LowerTrack]);
    draw(m_part[UpArrow], m_source[SrcUp], m_state[UpArrow]);
    draw(m_part[DownArrow], m_source[SrcDown], m_state[DownArrow]);
    if (!m_part[Thumb].IsEmpty()) {
        // Corners kept, so a long thumb keeps its rounded ends.
        const RECT& src = m_source[SrcThumb];
        const RECT& th = m_part[Thumb];
        DrawImage9Grid(dc, th.left, th.top, th.right, th.bottom,
                       src.left + column(m_state[Thumb]) * m_cellWidth, src.top, src.Width(),
                       src.Height(), &m_image, false);
    }
    const RECT& grip = m_source[SrcGrip];
    const RECT& th = m_part[Thumb];
    if (th.Height() >= grip.Height()) {
        const int top = th.top + (th.Height() - grip.Height()) / 2;
        draw(RECT{th.left, top, th.right, top + grip.Height()}, grip, m_state[Thumb]);
    }
}

}  // namespace vm
