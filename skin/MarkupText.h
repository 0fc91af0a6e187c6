#pragma once

// Draws or measures marked-up text (colour, font, bold, link, paragraph, rule, indent and
// icon tags, accelerator ampersands, "%{n}" string references) with the theme's fonts.

#include <QRegion>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/CDC.h"
#include "skin/MarkupLayout.h"
#include "skin/WinTypes.h"

namespace vm {

class CUIManager;

// `rect` in: the box; when measuring (DT_CALCRECT) out: the box the text needs. `links` in:
// the boxes of the previous drawing (for hover), out: this drawing's; `linkCount` in: the
// capacity (and number valid before), out: the number found. Both may be null.
void DrawMarkupText(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                    COLORREF textColor, COLORREF backColor, RECT* links, int* linkCount,
                    UINT style);
// The label's form: `lineSpacing` replaces font 1's external leading (-1 keeps it).
void DrawMarkupText(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                    COLORREF textColor, COLORREF backColor, RECT* links, int* linkCount, UINT style,
                    int lineSpacing);
// Colours as theme indexes; back index 65 means no fill.
void DrawMarkupTextByIndex(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                           int textColorIndex, int backColorIndex, RECT* links, int* linkCount,
                           UINT style);
// Measures without a paint target (for EstimateSize and window sizing).
RECT MeasureMarkupText(CUIManager* manager, const RECT& rect, std::string_view text, UINT style);

// One drawing of marked-up text as it landed, for the check that no text is cut off.
struct MarkupTextPiece {
    QRect ink;  // the run's advance across, its glyphs' pixels down
    std::string text;
};
struct MarkupTextRecord {
    std::string text;  // with string references expanded
    RECT box;          // the box the caller gave
    QRegion visible;   // where anything drawn can show: the clip in force
    UINT style = 0;
    bool leftOver = false;  // text that found no place
    std::vector<MarkupTextPiece> pieces;
};
using MarkupTextObserver = std::function<void(const MarkupTextRecord&)>;
// Called after every drawing (not measuring) of marked-up text while set; empty to stop.
void SetMarkupTextObserver(MarkupTextObserver observer);
// Whether a record shows all its text: nothing left over and every piece inside what shows,
// unless its style ends it with an ellipsis.
bool MarkupTextFits(const MarkupTextRecord& record);

}  // namespace vm
