#pragma once

// Skinned scroll bars for the Qt widgets that scroll by themselves (the text viewer, the
// owner-drawn list). AttachSkinScrollBars gives a widget its own bar state and bars whose
// parts (arrows, track, thumb) the owner paints through a callback, the part-drawing
// notification. The functions below answer for an attached widget from that state and leave
// every other widget alone. Nothing process-wide is patched: the owners call these directly.
// UI thread only; the bars are children of the widget and go with it.

#include <QImage>
#include <functional>

#include "skin/WinTypes.h"

class QPainter;
class QWidget;

namespace vm {

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_BOTH = 3;

constexpr UINT SIF_RANGE = 0x1;
constexpr UINT SIF_PAGE = 0x2;
constexpr UINT SIF_POS = 0x4;
constexpr UINT SIF_DISABLENOSCROLL = 0x8;
constexpr UINT SIF_TRACKPOS = 0x10;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

constexpr UINT ESB_ENABLE_BOTH = 0;
constexpr UINT ESB_DISABLE_LTUP = 1;
constexpr UINT ESB_DISABLE_RTDN = 2;
constexpr UINT ESB_DISABLE_BOTH = 3;

// The scroll information, with the system's meaning: nMax is the last unit, so the largest
// position is nMax - nPage + 1.
struct SCROLLINFO {
    UINT fMask = SIF_ALL;
    int nMin = 0;
    int nMax = 0;
    UINT nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
};

// The part-drawing notification the bars send their owner.
constexpr int NM_COOLSB_CUSTOMDRAW = -4095;
enum class ScrollBarPart { UpArrow, DownArrow, PageUp, PageDown, Thumb, Corner };
struct NMCSBCUSTOMDRAW {
    int code = NM_COOLSB_CUSTOMDRAW;
    int bar = SB_VERT;
    ScrollBarPart part = ScrollBarPart::UpArrow;
    UINT state = 0;  // 4 disabled, 8 hot, 0x10 pushed
    RECT rect;
};
using ScrollPartPainter = std::function<void(QPainter&, const NMCSBCUSTOMDRAW&)>;
// A scroll request of a bar of a widget that is not a scroll area: the system scroll code
// (SB_LINEUP ...) and, for thumb tracking, the position.
using ScrollRequestHandler = std::function<void(int bar, int code, int pos)>;

// False when `widget` is null or already attached.
bool AttachSkinScrollBars(QWidget* widget, ScrollPartPainter painter,
                          ScrollRequestHandler requests = {});
bool HasSkinScrollBars(QWidget* widget);
// The bar widget of an attached widget (for tests and layout), else null.
QWidget* SkinScrollBarWidget(QWidget* widget, int bar);
// Thickness of a visible vertical (or horizontal) bar; 0 when hidden or not attached.
int SkinScrollBarExtent(QWidget* widget, int bar);

bool SetScrollBarStyle(QWidget* widget, int bar, int style);
// `a` arrow length, `b` bar thickness; both non-zero and within -8..256.
bool SetScrollBarSize(QWidget* widget, int bar, int a, int b);
// -1: the default (6).
bool SetMinThumbSize(QWidget* widget, int bar, int size);
bool ShowScrollBar(QWidget* widget, int bar, bool show);
bool EnableScrollBar(QWidget* widget, int bar, UINT arrows);
bool GetScrollInfo(QWidget* widget, int bar, SCROLLINFO& info);
int SetScrollInfo(QWidget* widget, int bar, const SCROLLINFO& info, bool redraw = true);
int GetScrollPos(QWidget* widget, int bar);
int SetScrollPos(QWidget* widget, int bar, int pos, bool redraw = true);
bool GetScrollRange(QWidget* widget, int bar, int& minimum, int& maximum);
bool SetScrollRange(QWidget* widget, int bar, int minimum, int maximum, bool redraw = true);

// Paints a part from a grid image of 4 x 6 cells (columns normal, hot, pushed, disabled; rows
// up arrow, down arrow, track, thumb, grip, corner). The thumb is built from its cell's top
// two rows, a stretched middle, its bottom two rows and the grip centred on it; horizontal
// parts use the cells turned a quarter.
void DrawScrollPartFromGrid(QPainter& painter, const QImage& grid, const NMCSBCUSTOMDRAW& part);

}  // namespace vm
