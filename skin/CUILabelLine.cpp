#include "skin/CUILabelLine.h"

#include "skin/CDC.h"

namespace vm {

void CUILabelLine::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    if (m_upper != kNoColor) dc.HLine(m_pos.left, m_pos.right, m_pos.top, m_upper);
    if (m_lower != kNoColor) dc.HLine(m_pos.left, m_pos.right, m_pos.top + 1, m_lower);
}

}  // namespace vm
