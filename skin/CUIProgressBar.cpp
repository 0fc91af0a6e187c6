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
    value_ = std::clamp(value, min_, std::max(min_, max_));
    Invalidate();
}

void CUIProgressBar::SetRange(int minimum, int maximum, bool redraw) {
    min_ = minimum;
    max_ = maximum;
    value_ = std::clamp(value_, min_, std::max(min_, max_));
    if (redraw) Invalidate();
}

bool CUIProgressBar::LoadImage(int pngNumber, std::string_view module) {
    return LoadPngResource(image_, pngNumber, module);
}

void CUIProgressBar::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    CUIControl::SetText(text);
}

SIZE CUIProgressBar::EstimateSize(SIZE) {
    return SIZE{width_, UITheme::Get().FontInfo(1).tmHeight + 4};
}

void CUIProgressBar::PaintImageMode(CDC& dc) {
    const double part = static_cast<double>(value_) / (max_ - min_);
    const int fill = std::clamp(static_cast<int>(part * image_.width()), 0, image_.width());
    if (fill <= 0) return;
    const int l = pos_.left;
    const int t = pos_.top;
    const int b = std::min(pos_.bottom, t + image_.height());
    if (!slanted_) {
        dc.DrawImage(RECT{l, t, l + fill, b}, image_, RECT{0, 0, fill, b - t});
        return;
    }
    // The leading edge leans by the offset; its top corner stops short of the right end.
    const int off = slantOffset_;
    int topLeft = l, topRight = l + fill, bottomLeft = l, bottomRight = l + fill;
    if (off >= 0) {
        topRight = std::min(topRight, pos_.right - off);
        bottomLeft += off;
        bottomRight = topRight + off;
    } else {
        topLeft -= off;
        topRight = std::min(topRight - off, pos_.right);
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
    p.drawImage(QPoint(l, t), image_,
                QRect(0, 0, std::min(image_.width(), fill + std::abs(off)), b - t));
    p.restore();
}

void CUIProgressBar::PaintTrackMode(CDC& dc) {
    const int half = image_.width() / 2;
    if (half <= 0) return;
    DrawImage9Grid(dc, pos_.left, pos_.top, pos_.right, pos_.bottom, 0, 0, half, image_.height(),
                   &image_, true);
    const double part = static_cast<double>(value_ - min_) / (max_ - min_);
    const int fill = std::min(static_cast<int>(std::lround(part * pos_.Width())), pos_.Width());
    if (fill <= 0) return;
    DrawImage9Grid(dc, pos_.left, pos_.top, pos_.left + fill, pos_.bottom, half, 0,
                   std::min(half, fill), image_.height(), &image_, true);
}

void CUIProgressBar::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint) || image_.isNull() || max_ <= min_) return;
    dc.SaveDC();
    dc.IntersectClip(pos_);
    const bool imageMode = !manager_ || (!manager_->GetImage(0).isNull() && drawMode_ != 1);
    if (imageMode) {
        PaintImageMode(dc);
    } else {
        PaintTrackMode(dc);
    }
    if (!text_.empty()) {
        RECT box = pos_;
        DrawMarkupText(dc, manager_, box, text_, UITheme::Get().Color(26), kNoColor, nullptr,
                       nullptr, textStyle_ | DT_SINGLELINE);
    }
    dc.RestoreDC();
}

}  // namespace vm
