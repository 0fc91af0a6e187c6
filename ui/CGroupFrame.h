#pragma once

// A group frame of the program's dialogs: a one-pixel rectangle in one colour with an
// optional marked-up caption sitting on its top edge. It only draws; the controls it frames
// are its siblings. UI thread only.

#include "skin/CUIControl.h"

namespace vm {

class CGroupFrame : public CUIControl {
  public:
    void SetFrameColor(COLORREF color) { m_frameColor = color; }
    COLORREF GetFrameColor() const { return m_frameColor; }

    const char* GetClass() const override { return "GroupFrameUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE) override;
    // Transparent to the mouse: clicks reach the controls inside.
    bool HitTest(int, int) const override { return false; }
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    COLORREF m_frameColor = RGB(66, 39, 93);
};

}  // namespace vm
