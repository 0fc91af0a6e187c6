#pragma once

// The layout engine of marked-up text: measures, wraps and places runs, tags, links and the
// accelerator underline. It draws through IMarkupCanvas, so it runs without Qt (the renderer
// puts a painter behind the canvas; the fuzzer a fixed-width fake).

#include <span>
#include <string_view>

#include "skin/WinTypes.h"

namespace vm {

// Text-drawing style bits, with the system's values.
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

struct MarkupFontMetrics {
    int height = 0;
    int aveCharWidth = 0;
    int externalLeading = 0;
};

class IMarkupCanvas {
  public:
    virtual ~IMarkupCanvas() = default;
    // Selects theme font `index` (1-10) and returns true; any other number selects nothing.
    virtual bool SelectFont(int index) = 0;
    // Metrics of theme font `index`; all zero outside 1-10.
    virtual MarkupFontMetrics FontMetrics(int index) = 0;
    // Width of `text` in the selected font.
    virtual int TextWidth(std::u16string_view text) = 0;
    virtual COLORREF ThemeColor(int index) = 0;
    virtual void SetTextColor(COLORREF color) = 0;
    virtual void FillRect(const RECT& rect, COLORREF color) = 0;
    virtual void DrawText(int x, int y, std::u16string_view text) = 0;
    // One-pixel horizontal line from x1 up to (not including) x2.
    virtual void DrawHLine(int x1, int x2, int y, COLORREF color) = 0;
};

struct MarkupParams {
    RECT rect;
    COLORREF textColor = 0;
    COLORREF backColor = kNoColor;
    UINT style = 0;
    // Replaces the external leading of font 1 until a tag switches font; -1 keeps it.
    int lineSpacing = -1;
    // Last mouse position (hover underline) and whether accelerators are underlined.
    POINT mouse{-1, -1};
    bool acceleratorDisplay = false;
    // In: link boxes of the previous drawing (the first `linkCount` valid); out: this drawing's.
    std::span<RECT> links;
    int linkCount = 0;
};

struct MarkupResult {
    RECT rect;              // the box used; when measuring, the box the text needs
    int linkCount = 0;      // link boxes found
    bool leftOver = false;  // text that found no place (a single line or a full box ended it)
};

// `text` must already have its resource references expanded.
MarkupResult LayoutMarkup(IMarkupCanvas& canvas, std::u16string_view text,
                          const MarkupParams& params);

}  // namespace vm
