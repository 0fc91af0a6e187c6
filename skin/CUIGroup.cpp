#include "skin/CUIGroup.h"

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/MarkupText.h"
#include "skin/UIRender.h"
#include "skin/UITheme.h"

namespace vm {

CUIGroup::CUIGroup() : backColor_(UITheme::Get().Color(3)) {
    SetInset(3, 3);
}

void CUIGroup::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(pos_);
    const int captionHeight = UITheme::Get().FontInfo(1).tmHeight + 10;
    RECT body = pos_;
    if (!image_.isNull()) {
        if (!text_.empty()) body.top += captionHeight / 2;
        DrawImage9Grid(dc, body.left, body.top, body.right, body.bottom, 0, 0, image_.width(),
                       image_.height(), &image_, false);
    } else {
        dc.FillRect(body, backColor_);
    }
    if (!text_.empty()) {
        const RECT measured =
            MeasureMarkupText(manager_, RECT{0, 0, 9999, 100}, text_, DT_SINGLELINE);
        const int w = measured.Width();
        RECT cap{pos_.left + 10, pos_.top, pos_.left + 10 + w, pos_.top + captionHeight};
        if (textStyle_ & DT_CENTER) {
            cap.left = pos_.left + (pos_.Width() - w) / 2;
        } else if (textStyle_ & DT_RIGHT) {
            cap.left = pos_.right - 10 - w;
        }
        cap.right = cap.left + w;
        const QImage* windowImage = manager_ ? &manager_->GetImage(0) : nullptr;
        const QImage& def = UITheme::Get().Image(DefaultImage::DialogBackground);
        if (captionBackColor_ != kNoColor) {
            dc.FillRect(cap, captionBackColor_);
        } else if (windowImage && !windowImage->isNull()) {
            dc.DrawImage(cap, *windowImage, cap);  // the window's background under the box
        } else if (!def.isNull()) {
            const RECT src{def.width() / 3, def.height() / 3, def.width() / 3 + cap.Width(),
                           def.height() / 3 + cap.Height()};
            dc.DrawImage(cap, def, src);
        }
        DrawMarkupText(dc, manager_, cap, text_, 0xFFFFFF, kNoColor, nullptr, nullptr,
                       textStyle_ | DT_SINGLELINE);
    }
    PaintChildren(dc, paint);
    dc.RestoreDC();
}

}  // namespace vm
