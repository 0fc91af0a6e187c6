#include "skin/CUILabel.h"

#include <QPainter>
#include <algorithm>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/ControlText.h"
#include "skin/MarkupText.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"

namespace vm {

void CUILabel::SetTextStyle(UINT style) {
    if (style & (DT_CENTER | DT_RIGHT)) style |= DT_SINGLELINE | DT_VCENTER;
    m_textStyle = style;
    Invalidate();
}

void CUILabel::SetTextColor(COLORREF color, COLORREF disabled) {
    m_textColor = color;
    if (disabled != kNoColor) m_disabledColor = disabled;
    Invalidate();
}

void CUILabel::SetImage(const QImage& image) {
    m_image = image.copy();
    m_frame = 0;
    StartAnimation();
    Invalidate();
}

bool CUILabel::LoadImage(int pngNumber, std::string_view module) {
    QImage image;
    if (!LoadPngResource(image, pngNumber, module)) return false;
    SetImage(image);
    return true;
}

bool CUILabel::LoadImageFile(const std::filesystem::path& path) {
    const QImage image = LoadPictureFile(path);
    if (image.isNull()) return false;
    SetImage(image);
    return true;
}

void CUILabel::SetFrameCount(int count) {
    m_frameCount = std::max(count, 1);
    m_frame = 0;
    StartAnimation();
}

void CUILabel::SetOpacity(double opacity) {
    m_opacity = std::clamp(opacity, 0.0, 1.0);
    StartAnimation();
    Invalidate();
}

void CUILabel::StartAnimation() {
    if (!m_manager || m_image.isNull()) return;
    if (m_frameCount > 1 || m_opacity < 1.0) m_manager->SetTimer(this, kAnimationTimer, m_interval);
}

void CUILabel::Init() {
    StartAnimation();
}

void CUILabel::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    m_linkCount = 0;
    CUIControl::SetText(text);
}

bool CUILabel::HasLinks() const {
    return m_linkCount > 0 || m_text.find("<a") != std::string::npos;
}

UINT CUILabel::GetControlFlags() const {
    return HasLinks() ? UIFLAG_SETCURSOR : 0;
}

SIZE CUILabel::EstimateSize(SIZE) {
    return SIZE{m_width, UITheme::Get().FontInfo(1).tmHeight + 4};
}

bool CUILabel::Activate() {
    if (!CUIControl::Activate()) return false;
    if (m_manager && m_linkCount > 0)
        m_manager->SendNotify(this, UINotifyCode::Link, static_cast<WPARAM>(m_clickedLink));
    return true;
}

void CUILabel::Event(UIEvent& event) {
    if (!IsVisible() || !IsEnabled()) return;
    switch (event.type) {
        case UIEventType::Timer:
            if (event.wParam != kAnimationTimer) return;
            if (m_frame == 0 && m_manager) m_manager->SetTimer(this, kAnimationTimer, m_interval);
            m_frame = (m_frame + 1) % m_frameCount;
            m_opacity = std::min(1.0, m_opacity + 0.2);
            if (m_frameCount <= 1 && m_opacity >= 1.0 && m_manager)
                m_manager->KillTimer(this, kAnimationTimer);
            Invalidate();
            return;
        case UIEventType::SetCursor: {
            bool overLink = false;
            for (int i = 0; i < m_linkCount; ++i) overLink |= m_links[i].Contains(event.mouse);
            if (m_manager) m_manager->SetCursor(overLink ? CursorKind::Hand : CursorKind::Arrow);
            return;
        }
        case UIEventType::ButtonUp: {
            m_clickedLink = -1;
            for (int i = 0; i < m_linkCount; ++i) {
                if (m_links[i].Contains(event.mouse)) {
                    m_clickedLink = i;
                    break;
                }
            }
            if (m_clickedLink >= 0) Activate();
            Invalidate();
            return;
        }
        case UIEventType::MouseMove:
        case UIEventType::MouseLeave:
            if (m_linkCount > 0) Invalidate();
            return;
        case UIEventType::ContextMenu:
            if (m_manager) m_manager->SendNotify(this, UINotifyCode::RightClick);
            return;
        case UIEventType::SetFocus:
        case UIEventType::KillFocus:
            CUIControl::Event(event);
            return;
        default:
            return;  // labels keep their events to themselves
    }
}

void CUILabel::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "align") {
        SetTextStyle(WithAlignAttribute(m_textStyle, value));
    } else if (name == "width") {
        SetWidth(std::atoi(std::string(value).c_str()));
    } else {
        CUIControl::SetAttribute(name, value);
    }
}

void CUILabel::PaintImage(CDC& dc) {
    const int frameWidth = m_image.width() / m_frameCount;
    const int frameHeight = m_image.height();
    if (frameWidth <= 0 || frameHeight <= 0) return;
    int w = frameWidth;
    int h = frameHeight;
    if (m_imageSize.cx > 0 && m_imageSize.cy > 0) {
        w = m_imageSize.cx;
        h = m_imageSize.cy;
    }
    // Fitted into the control keeping the frame's proportions, centred.
    const int cw = m_pos.Width();
    const int ch = m_pos.Height();
    if (static_cast<long long>(cw) * h > static_cast<long long>(ch) * w) {
        w = w * ch / h;
        h = ch;
    } else {
        h = h * cw / w;
        w = cw;
    }
    const int x = std::max(m_pos.left, m_pos.left + (cw - w) / 2);
    const int y = std::max(m_pos.top, m_pos.top + (ch - h) / 2);
    const RECT dest{x, y, x + w, y + h};
    QPainter& p = dc.Painter();
    p.save();
    p.setOpacity(m_opacity);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    dc.DrawImage(dest, m_image,
                 RECT{frameWidth * m_frame, 0, frameWidth * (m_frame + 1), frameHeight});
    p.restore();
    if (m_clickableImage && m_text.empty()) {
        m_links[0] = dest;
        m_linkCount = 1;
    }
}

void CUILabel::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(m_pos);
    if (m_backColor != kNoColor) dc.FillRect(m_pos, m_backColor);
    if (m_outerFrame != kNoColor) dc.FrameRect(m_pos, m_outerFrame);
    if (m_innerFrame != kNoColor) {
        RECT inner = m_pos;
        inner.Deflate(1, 1, 1, 1);
        dc.FrameRect(inner, m_innerFrame);
    }
    if (!m_image.isNull()) PaintImage(dc);
    if (!m_text.empty()) {
        RECT box = m_pos;
        int count = kMaxLinks;
        const COLORREF color = IsEnabled() ? m_textColor : m_disabledColor;
        DrawMarkupText(dc, m_manager, box, m_text, color, kNoColor, m_links.data(), &count,
                       m_textStyle, m_lineSpacing);
        m_linkCount = count;
        // A label that is one short link is clickable across its whole width.
        const bool oneLink = m_text.starts_with("<a") && m_text.ends_with("a>");
        if (oneLink && m_linkCount == 1 && m_links[0].Width() < 20) {
            m_links[0].left = m_pos.left;
            m_links[0].right = m_pos.right;
        }
    }
    dc.RestoreDC();
}

}  // namespace vm
