#pragma once

#include "skin/CUIControl.h"

namespace vm {

// A two-colour separator: the upper colour on the control's top row, the lower one below it.
class CUILabelLine : public CUIControl {
  public:
    void SetUpperColor(COLORREF color) { m_upper = color; }
    void SetLowerColor(COLORREF color) { m_lower = color; }

    const char* GetClass() const override { return "LabelLinelUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE) override { return SIZE{m_pos.Width(), 2}; }
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    COLORREF m_upper = kNoColor;
    COLORREF m_lower = kNoColor;
};

}  // namespace vm
