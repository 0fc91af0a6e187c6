#include "skin/UIRender.h"

#include <QBrush>
#include <algorithm>

#include "skin/CUIManager.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

COLORREF Theme(int index) {
    return UITheme::Get().Color(index);
}

COLORREF Mix(COLORREF a, COLORREF b, int num, int den) {
    auto ch = [&](int ca, int cb) { return ca + (cb - ca) * num / den; };
    return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)),
               ch(GetBValue(a), GetBValue(b)));
}

}  // namespace

void FillColor(CDC& dc, const RECT& rect, COLORREF color) {
    dc.FillRect(rect, color);
}

void FillThemeColor(CDC& dc, const RECT& rect, int index) {
    dc.FillRect(rect, Theme(index));
}

void DrawRectFrame(CDC& dc, int l, int t, int r, int b, COLORREF color) {
    dc.FrameRect(RECT{l, t, r, b}, color);
}

void DrawFrame(CDC& dc, int l, int t, int r, int b, int light, int dark, int fill, UINT style) {
    const RECT rc{l, t, r, b};
    if (rc.IsEmpty()) return;
    if (fill != UITheme::kNoFill) FillThemeColor(dc, rc, fill);
    const COLORREF lc = Theme(light);
    const COLORREF dk = Theme(dark);
    if (style & UIFRAME_BEVEL) {
        dc.VLine(l, t + 1, b - 1, lc);
        dc.HLine(l + 1, r - 1, t, lc);
        dc.VLine(r - 1, t + 1, b - 1, dk);
        dc.HLine(l + 1, r - 1, b - 1, dk);
    }
    if (style & UIFRAME_FOCUS) {
        const COLORREF fc = Theme(15);
        for (int x = l; x < r; x += 2) {
            dc.FillRect(RECT{x, t, x + 1, t + 1}, fc);
            dc.FillRect(RECT{x, b - 1, x + 1, b}, fc);
        }
        for (int y = t; y < b; y += 2) {
            dc.FillRect(RECT{l, y, l + 1, y + 1}, fc);
            dc.FillRect(RECT{r - 1, y, r, y + 1}, fc);
        }
    } else {
        dc.HLine(l, r, t, lc);
        dc.VLine(r - 1, t, b, dk);
        dc.HLine(l, r, b - 1, dk);
        dc.VLine(l, t, b, dk);
    }
}

void DrawGradient(CDC& dc, int l, int t, int r, int b, COLORREF from, COLORREF to, bool vertical,
                  int steps) {
    (void)steps;  // the painter always draws the smooth gradient
    const RECT rc{l, t, r, b};
    if (rc.IsEmpty()) return;
    const int n = vertical ? rc.Height() : rc.Width();
    for (int i = 0; i < n; ++i) {
        const COLORREF c = Mix(from, to, i, std::max(1, n - 1));
        if (vertical) {
            dc.HLine(l, r, t + i, c);
        } else {
            dc.VLine(l + i, t, b, c);
        }
    }
}

void DrawAlphaBitmap(CDC& dc, const QImage* image, int l, int t, int r, int b, int alpha) {
    if (!image || image->isNull() || r <= l || b <= t) return;
    QPainter& p = dc.Painter();
    p.save();
    p.setOpacity(std::clamp(alpha, 0, 255) / 255.0);
    p.drawImage(QRect(l, t, r - l, b - t), *image);
    p.restore();
}

void DrawImage9Grid(CDC& dc, int l, int t, int r, int b, int sx, int sy, int sw, int sh,
                    const QImage* image, bool tiled) {
    if (!image || image->isNull() || r <= l || b <= t || sw <= 0 || sh <= 0) return;
    const int cw = sw / 3;
    const int ch = sh / 3;
    const int srcX[4] = {sx, sx + cw, sx + sw - cw, sx + sw};
    const int srcY[4] = {sy, sy + ch, sy + sh - ch, sy + sh};
    const int dstX[4] = {l, std::min(l + cw, r), std::max(r - cw, l + cw), r};
    const int dstY[4] = {t, std::min(t + ch, b), std::max(b - ch, t + ch), b};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const RECT src{srcX[col], srcY[row], srcX[col + 1], srcY[row + 1]};
            const RECT dst{dstX[col], dstY[row], std::min(dstX[col + 1], r),
                           std::min(dstY[row + 1], b)};
            if (src.IsEmpty() || dst.IsEmpty()) continue;
            if (tiled) {
                dc.FillRect(dst, dc.ImageBrush(*image, src, POINT{dst.left, dst.top}));
            } else {
                dc.DrawImage(dst, *image, src);
            }
        }
    }
}

void DrawStateFace(CDC& dc, CUIManager* manager, int l, int t, int r, int b, UINT state,
                   const POINT* polygon, int count) {
    RECT rc{l, t, r, b};
    if (rc.IsEmpty()) return;
    const int which = (state & UISTATE_DISABLED) ? 3
                      : (state & UISTATE_PUSHED) ? 2
                      : (state & UISTATE_HOT)    ? 1
                                                 : 0;
    const QImage* image = manager ? &manager->GetImage(which) : nullptr;
    if (image && !image->isNull()) {
        // The window's state image, cut at the button's place, is the button's face.
        const QBrush brush = dc.ImageBrush(*image, rc, POINT{rc.left, rc.top});
        if (polygon && count > 0) {
            dc.FillPolygon(polygon, std::min(count, 20), brush);
        } else {
            dc.FillRect(rc, brush);
        }
        return;
    }
    const bool disabled = state & UISTATE_DISABLED;
    const bool pushed = !disabled && (state & UISTATE_PUSHED);
    const int light = disabled ? 14 : pushed ? 13 : 12;
    const int dark = disabled ? 14 : pushed ? 12 : 13;
    DrawFrame(dc, rc.left, rc.top, rc.right, rc.bottom, light, dark, UITheme::kNoFill,
              UIFRAME_BEVEL);
    rc.Deflate(1, 1, 1, 1);
    if (pushed) {
        dc.FrameRect(rc, Theme(53));
        rc.Offset(1, 1);
        rc.Deflate(0, 0, 1, 1);
    }
    COLORREF from = 0, to = 0;
    UITheme::Get().ColorPair(disabled ? 7 : pushed ? 8 : 6, from, to);
    DrawGradient(dc, rc.left, rc.top, rc.right, rc.bottom, from, to, true, 32);
    const COLORREF inner = Theme(3);
    dc.VLine(rc.left, rc.top, rc.bottom, inner);
    dc.HLine(rc.left, rc.right, rc.bottom - 1, inner);
    dc.VLine(rc.right - 1, rc.top, rc.bottom, inner);
}

}  // namespace vm
