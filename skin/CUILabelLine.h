#pragma once

#include "skin/CUIControl.h"

namespace vm {

// A two-colour separator: the upper colour on the control's top row, the lower one below it.
class CUILabelLine : public CUIControl {
  public:
    void SetUpperColor(COLORREF color) { upper_ = color; }
    void SetLowerColor(COLORREF color) { lower_ = color; }

    const char* GetClass() const override { return "LabelLineUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE) override { return SIZE{pos_.Width(), 2}; }
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    COLORREF upper_ = kNoColor;
    COLORREF lower_ = kNoColor;
};

}  // namespace vm
