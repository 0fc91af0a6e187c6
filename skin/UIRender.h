#pragma once

// The shared drawing helpers of the skinned controls, on the theme's colours.

#include <QImage>

#include "skin/CDC.h"
#include "skin/WinTypes.h"

namespace vm {

class CUIManager;

// Button state bits, shared by the controls and DrawStateFace.
constexpr UINT UISTATE_FOCUSED = 0x01;
constexpr UINT UISTATE_DISABLED = 0x04;
constexpr UINT UISTATE_HOT = 0x08;
constexpr UINT UISTATE_PUSHED = 0x10;
constexpr UINT UISTATE_CHECKED = 0x20;
constexpr UINT UISTATE_CAPTURED = 0x80;

// DrawFrame styles.
constexpr UINT UIFRAME_BEVEL = 0x1;
constexpr UINT UIFRAME_FOCUS = 0x2;

void FillColor(CDC& dc, const RECT& rect, COLORREF color);
void FillThemeColor(CDC& dc, const RECT& rect, int index);
void DrawRectFrame(CDC& dc, int l, int t, int r, int b, COLORREF color);
// Fill with theme colour `fill` (none for UITheme::kNoFill), then the frame in the theme pens
// `light` and `dark`: style bit 1 adds a bevel with cut corners, bit 2 a dotted focus frame
// (theme colour 15) instead of the plain one.
void DrawFrame(CDC& dc, int l, int t, int r, int b, int light, int dark, int fill, UINT style);
// Linear gradient from `from` to `to`, top to bottom when `vertical`, else left to right.
void DrawGradient(CDC& dc, int l, int t, int r, int b, COLORREF from, COLORREF to, bool vertical,
                  int steps);
// `alpha` 0-255 on top of the image's own alpha.
void DrawAlphaBitmap(CDC& dc, const QImage* image, int l, int t, int r, int b, int alpha);
// The source area cut 3 x 3 with corner cells of w/3 x h/3 kept at their size; edges and the
// centre take the rest, stretched or (tiled) repeated. A null image draws nothing.
void DrawImage9Grid(CDC& dc, int l, int t, int r, int b, int sx, int sy, int sw, int sh,
                    const QImage* image, bool tiled);
// The face of a button without an image of its own: from the window's state image for
// `state`, else drawn with the theme's frame pens and gradient pairs.
void DrawStateFace(CDC& dc, CUIManager* manager, int l, int t, int r, int b, UINT state,
                   const POINT* polygon, int count);

}  // namespace vm
