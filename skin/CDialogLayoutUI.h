#pragma once

// The root of a skinned dialog: its children keep their designed arrangement, with their
// common bounding box anchored at the layout's top-left corner. Children added after the
// first layout keep the rectangles they were given.

#include <vector>

#include "skin/CUIContainer.h"

namespace vm {

class CDialogLayoutUI : public CUIContainer {
  public:
    void SetBackColor(COLORREF color) { backColor_ = color; }
    COLORREF GetBackColor() const { return backColor_; }
    // The children's bounding box of the first layout.
    const RECT& GetChildrenBox() const { return box_; }

    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "DialogLayoutUI"; }
    SIZE EstimateSize(SIZE available) override;
    void SetPos(int left, int top, int right, int bottom) override;
    void DoPaint(CDC& dc, const RECT& paint) override;
    using CUIControl::SetPos;

  private:
    struct Entry {
        CUIControl* control;
        UINT flags;
        RECT rect;
    };
    void RecalcArrangement();

    bool recalc_ = true;
    RECT box_;
    std::vector<Entry> entries_;
    COLORREF backColor_ = kNoColor;
};

}  // namespace vm
