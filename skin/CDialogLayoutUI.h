#pragma once

// The root of a skinned dialog: its children keep their designed arrangement, with their
// common bounding box anchored at the layout's top-left corner. Children added after the
// first layout keep the rectangles they were given.

#include <vector>

#include "skin/CUIContainer.h"

namespace vm {

class CDialogLayoutUI : public CUIContainer {
  public:
    void SetBackColor(COLORREF color) { m_backColor = color; }
    COLORREF GetBackColor() const { return m_backColor; }
    // The children's bounding box of the first layout.
    const RECT& GetChildrenBox() const { return m_box; }

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

    bool m_recalc = true;
    RECT m_box;
    std::vector<Entry> m_entries;
    COLORREF m_backColor = kNoColor;
};

}  // namespace vm
