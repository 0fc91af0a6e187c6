#include "skin/CUILabelLine.h"

#include "skin/CDC.h"

namespace vm {

void CUILabelLine::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    if (upper_ != kNoColor) dc.HLine(pos_.left, pos_.right, pos_.top, upper_);
    if (lower_ != kNoColor) dc.HLine(pos_.left, pos_.right, pos_.top + 1, lower_);
}

}  // namespace vm
