#include "skin/CUIGroup.h"

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/MarkupText.h"
#include "skin/UIRender.h"
#include "skin/UITheme.h"

namespace vm {

CUIGroup::CUIGroup() : m_backColor(UITheme::Get().Color(3)) {
    SetInset(3, 3);
}

void CUIGroup::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(m_pos);
    const int captionHeight = UITheme::Get().FontInfo(1).tmHeight + 10;
    RECT body = m_pos;
    if (!m_image.isNull()) {
        if (!m_text.empty()) body.top += captionHeight / 2;
        DrawImage9Grid(dc, body.left, body.top, body.right, body.bottom, 0, 0, m_image.width(),
                       m_image.height(), &m_image, false);
    } else {
        dc.FillRect(body, m_backColor);
    }
    if (!m_text.empty()) {
        const RECT measured =
            MeasureMarkupText(m_manager, RECT{0, 0, 9999, 100}, m_text, DT_SINGLELINE);
        const int w = measured.Width();
        RECT cap{m_pos.left + 10, m_pos.top, m_pos.left + 10 + w, m_pos.top + captionHeight};
        if (m_textStyle & DT_CENTER) {
            cap.left = m_pos.left + (m_pos.Width() - w) / 2;
        } else if (m_textStyle & DT_RIGHT) {
            cap.left = m_pos.right - 10 - w;
        }
        cap.right = cap.left + w;
        const QImage* windowImage = m_manager ? &m_manager->GetImage(0) : nullptr;
        const QImage& def = UITheme::Get().Image(DefaultImage::DialogBackground);
        if (m_captionBackColor != kNoColor) {
            dc.FillRect(cap, m_captionBackColor);
        } else if (windowImage && !windowImage->isNull()) {
            dc.DrawImage(cap, *windowImage, cap);  // the window's background under the box
        } else if (!def.isNull()) {
            const RECT src{def.width() / 3, def.height() / 3, def.width() / 3 + cap.Width(),
                           def.height() / 3 + cap.Height()};
            dc.DrawImage(cap, def, src);
        }
        DrawMarkupText(dc, m_manager, cap, m_text, 0xFFFFFF, kNoColor, nullptr, nullptr,
                       m_textStyle | DT_SINGLELINE);
    }
    PaintChildren(dc, paint);
    dc.RestoreDC();
}

}  // namespace vm
