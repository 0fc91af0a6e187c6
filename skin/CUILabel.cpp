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
    textStyle_ = style;
    Invalidate();
}

void CUILabel::SetTextColor(COLORREF color, COLORREF disabled) {
    textColor_ = color;
    if (disabled != kNoColor) disabledColor_ = disabled;
    Invalidate();
}

void CUILabel::SetImage(const QImage& image) {
    image_ = image.copy();
    frame_ = 0;
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
    frameCount_ = std::max(count, 1);
    frame_ = 0;
    StartAnimation();
}

void CUILabel::SetOpacity(double opacity) {
    opacity_ = std::clamp(opacity, 0.0, 1.0);
    StartAnimation();
    Invalidate();
}

void CUILabel::StartAnimation() {
    if (!manager_ || image_.isNull()) return;
    if (frameCount_ > 1 || opacity_ < 1.0) manager_->SetTimer(this, kAnimationTimer, interval_);
}

void CUILabel::Init() {
    StartAnimation();
}

void CUILabel::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    linkCount_ = 0;
    CUIControl::SetText(text);
}

bool CUILabel::HasLinks() const {
    return linkCount_ > 0 || text_.find("<a") != std::string::npos;
}

UINT CUILabel::GetControlFlags() const {
    return HasLinks() ? UIFLAG_SETCURSOR : 0;
}

SIZE CUILabel::EstimateSize(SIZE) {
    return SIZE{width_, UITheme::Get().FontInfo(1).tmHeight + 4};
}

bool CUILabel::Activate() {
    if (!CUIControl::Activate()) return false;
    if (manager_ && linkCount_ > 0)
        manager_->SendNotify(this, UINotifyCode::Link, static_cast<WPARAM>(clickedLink_));
    return true;
}

void CUILabel::Event(UIEvent& event) {
    if (!IsVisible() || !IsEnabled()) return;
    switch (event.type) {
        case UIEventType::Timer:
            if (event.wParam != kAnimationTimer) return;
            if (frame_ == 0 && manager_) manager_->SetTimer(this, kAnimationTimer, interval_);
            frame_ = (frame_ + 1) % frameCount_;
            opacity_ = std::min(1.0, opacity_ + 0.2);
            if (frameCount_ <= 1 && opacity_ >= 1.0 && manager_)
                manager_->KillTimer(this, kAnimationTimer);
            Invalidate();
            return;
        case UIEventType::SetCursor: {
            bool overLink = false;
            for (int i = 0; i < linkCount_; ++i) overLink |= links_[i].Contains(event.mouse);
            if (manager_) manager_->SetCursor(overLink ? CursorKind::Hand : CursorKind::Arrow);
            return;
        }
        case UIEventType::ButtonUp: {
            clickedLink_ = -1;
            for (int i = 0; i < linkCount_; ++i) {
                if (links_[i].Contains(event.mouse)) {
                    clickedLink_ = i;
                    break;
                }
            }
            if (clickedLink_ >= 0) Activate();
            Invalidate();
            return;
        }
        case UIEventType::MouseMove:
        case UIEventType::MouseLeave:
            if (linkCount_ > 0) Invalidate();
            return;
        case UIEventType::ContextMenu:
            if (manager_) manager_->SendNotify(this, UINotifyCode::RightClick);
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
        SetTextStyle(WithAlignAttribute(textStyle_, value));
    } else if (name == "width") {
        SetWidth(std::atoi(std::string(value).c_str()));
    } else {
        CUIControl::SetAttribute(name, value);
    }
}

void CUILabel::PaintImage(CDC& dc) {
    const int frameWidth = image_.width() / frameCount_;
    const int frameHeight = image_.height();
    if (frameWidth <= 0 || frameHeight <= 0) return;
    int w = frameWidth;
    int h = frameHeight;
    if (imageSize_.cx > 0 && imageSize_.cy > 0) {
        w = imageSize_.cx;
        h = imageSize_.cy;
    }
    // Fitted into the control keeping the frame's proportions, centred.
    const int cw = pos_.Width();
    const int ch = pos_.Height();
    if (static_cast<long long>(cw) * h > static_cast<long long>(ch) * w) {
        w = w * ch / h;
        h = ch;
    } else {
        h = h * cw / w;
        w = cw;
    }
    const int x = std::max(pos_.left, pos_.left + (cw - w) / 2);
    const int y = std::max(pos_.top, pos_.top + (ch - h) / 2);
    const RECT dest{x, y, x + w, y + h};
    QPainter& p = dc.Painter();
    p.save();
    p.setOpacity(opacity_);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(ToQRect(dest), image_, QRect(frameWidth * frame_, 0, frameWidth, frameHeight));
    p.restore();
    if (clickableImage_ && text_.empty()) {
        links_[0] = dest;
        linkCount_ = 1;
    }
}

void CUILabel::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(pos_);
    if (backColor_ != kNoColor) dc.FillRect(pos_, backColor_);
    if (outerFrame_ != kNoColor) dc.FrameRect(pos_, outerFrame_);
    if (innerFrame_ != kNoColor) {
        RECT inner = pos_;
        inner.Deflate(1, 1, 1, 1);
        dc.FrameRect(inner, innerFrame_);
    }
    if (!image_.isNull()) PaintImage(dc);
    if (!text_.empty()) {
        RECT box = pos_;
        int count = kMaxLinks;
        const COLORREF color = IsEnabled() ? textColor_ : disabledColor_;
        DrawMarkupText(dc, manager_, box, text_, color, kNoColor, links_.data(), &count, textStyle_,
                       lineSpacing_);
        linkCount_ = count;
        // A label that is one short link is clickable across its whole width.
        const bool oneLink = text_.starts_with("<a") && text_.ends_with("a>");
        if (oneLink && linkCount_ == 1 && links_[0].Width() < 20) {
            links_[0].left = pos_.left;
            links_[0].right = pos_.right;
        }
    }
    dc.RestoreDC();
}

}  // namespace vm
