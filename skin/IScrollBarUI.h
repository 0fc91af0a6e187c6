#pragma once

// What a container needs of its vertical scroll bar (GetInterface("ScrollBar")). The bar
// control itself comes from the factory registered with CUIContainer::SetScrollBarFactory.

#include <QImage>
#include <array>

#include "skin/WinTypes.h"

namespace vm {

// A custom look for a container's scroll bar: the sprite and its seven source rectangles
// (up arrow, down arrow, upper track, lower track, thumb, grip, spare row).
struct ScrollBarSkin {
    QImage image;
    std::array<RECT, 7> parts{};
};

class IScrollBarUI {
  public:
    virtual ~IScrollBarUI() = default;
    virtual void SetRange(int minimum, int maximum, bool redraw = true) = 0;
    virtual void GetRange(int& minimum, int& maximum) const = 0;
    virtual void SetPage(int page) = 0;
    virtual int GetPage() const = 0;
    virtual void SetLine(int line) = 0;
    virtual int GetLine() const = 0;
    virtual void SetScrollPos(int pos, bool redraw = true) = 0;
    virtual int GetScrollPos() const = 0;
    // Width of the strip the bar needs.
    virtual int GetBarWidth() const = 0;
    virtual void ApplySkin(const ScrollBarSkin* skin) = 0;  // null: the default look
};

}  // namespace vm
