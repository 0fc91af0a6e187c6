#include "ui/CGroupFrame.h"

#include <algorithm>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/MarkupLayout.h"
#include "skin/MarkupText.h"
#include "skin/UITheme.h"

namespace vm {

SIZE CGroupFrame::EstimateSize(SIZE) {
    const RECT& r = GetPos();
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void CGroupFrame::DoPaint(CDC& dc, const RECT& paint) {
    const RECT pos = GetPos();
    if (!RectsMeet(pos, paint)) return;
    const std::string& text = GetText();
    const int captionHeight = UITheme::Get().FontInfo(1).tmHeight + 4;
    RECT frame = pos;
    if (!text.empty()) frame.top += captionHeight / 2;
    if (text.empty()) {
        dc.FrameRect(frame, m_frameColor);
        return;
    }
    const RECT measured =
        MeasureMarkupText(GetManager(), RECT{0, 0, 9999, 100}, text, DT_SINGLELINE);
    RECT cap{pos.left + 8, pos.top, pos.left + 8 + measured.Width() + 6, pos.top + captionHeight};
    // The top edge leaves a gap for the caption, so whatever lies under the frame shows.
    dc.HLine(frame.left, cap.left, frame.top, m_frameColor);
    dc.HLine(std::min(cap.right, frame.right - 1), frame.right, frame.top, m_frameColor);
    dc.HLine(frame.left, frame.right, frame.bottom - 1, m_frameColor);
    dc.VLine(frame.left, frame.top, frame.bottom, m_frameColor);
    dc.VLine(frame.right - 1, frame.top, frame.bottom, m_frameColor);
    RECT box{cap.left + 3, cap.top, cap.right - 3, cap.bottom};
    DrawMarkupText(dc, GetManager(), box, text, m_frameColor, kNoColor, nullptr, nullptr,
                   DT_SINGLELINE | DT_VCENTER);
}

}  // namespace vm
