#include "skin/MarkupText.h"

#include <QFontMetrics>
#include <QImage>
#include <optional>
#include <span>

#include "platform/Text.h"
#include "skin/CUIManager.h"
#include "skin/MarkupTokenizer.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

MarkupTextObserver& Observer() {
    static MarkupTextObserver observer;
    return observer;
}

class PainterCanvas : public IMarkupCanvas {
  public:
    PainterCanvas(CDC& dc, MarkupTextRecord* record) : m_dc(dc), m_record(record) {}

    bool SelectFont(int index) override { return m_dc.SelectThemeFont(index); }
    MarkupFontMetrics FontMetrics(int index) override {
        const TEXTMETRIC tm = UITheme::Get().FontInfo(index);
        return {tm.tmHeight, tm.tmAveCharWidth, tm.tmExternalLeading};
    }
    int TextWidth(std::u16string_view text) override { return m_dc.GetTextExtent(text).cx; }
    COLORREF ThemeColor(int index) override { return UITheme::Get().Color(index); }
    void SetTextColor(COLORREF color) override { m_dc.SetTextColor(color); }
    void FillRect(const RECT& rect, COLORREF color) override { m_dc.FillRect(rect, color); }
    void DrawText(int x, int y, std::u16string_view text) override {
        m_dc.TextOut(x, y, text);
        if (!m_record) return;
        const QFontMetrics fm(m_dc.Font());
        const QString q = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        const QRect glyphs = fm.tightBoundingRect(q);
        if (glyphs.isEmpty()) return;  // blanks
        // Across: the run's advance, which the layout places (a glyph may lean a pixel past
        // it); down: the glyphs' own pixels.
        const QRect ink(x, y + fm.ascent() + glyphs.top(), fm.horizontalAdvance(q),
                        glyphs.height());
        m_record->pieces.push_back({ink, platform::Utf16ToUtf8(text)});
    }
    void DrawHLine(int x1, int x2, int y, COLORREF color) override { m_dc.HLine(x1, x2, y, color); }

  private:
    CDC& m_dc;
    MarkupTextRecord* m_record;
};

}  // namespace

void DrawMarkupText(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                    COLORREF textColor, COLORREF backColor, RECT* links, int* linkCount, UINT style,
                    int lineSpacing) {
    if (rect.IsEmpty()) return;
    const bool draw = (style & DT_CALCRECT) == 0;
    const std::u16string expanded = ExpandResourceRefs(platform::Utf8ToUtf16(text));

    dc.SaveDC();
    if (draw) dc.IntersectClip(rect);
    std::optional<MarkupTextRecord> record;
    if (draw && Observer()) {
        QPainter& painter = dc.Painter();
        record.emplace();
        record->text = platform::Utf16ToUtf8(expanded);
        record->box = rect;
        record->visible = painter.hasClipping() ? painter.clipRegion() : QRegion(painter.window());
        record->style = style;
    }
    PainterCanvas canvas(dc, record ? &*record : nullptr);
    MarkupParams p;
    p.rect = rect;
    p.textColor = textColor;
    p.backColor = backColor;
    p.style = style;
    p.lineSpacing = lineSpacing;
    if (manager) {
        p.mouse = manager->GetMousePos();
        p.acceleratorDisplay = manager->IsAcceleratorDisplayed();
    }
    const int capacity = links && linkCount ? std::max(0, *linkCount) : 0;
    p.links = std::span<RECT>(links, static_cast<std::size_t>(capacity));
    p.linkCount = capacity;
    const MarkupResult r = LayoutMarkup(canvas, expanded, p);
    dc.RestoreDC();
    if (record) {
        record->leftOver = r.leftOver;
        Observer()(*record);
    }
    if (linkCount) *linkCount = r.linkCount;
    if (!draw) rect = r.rect;
}

void DrawMarkupText(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                    COLORREF textColor, COLORREF backColor, RECT* links, int* linkCount,
                    UINT style) {
    DrawMarkupText(dc, manager, rect, text, textColor, backColor, links, linkCount, style, -1);
}

void DrawMarkupTextByIndex(CDC& dc, CUIManager* manager, RECT& rect, std::string_view text,
                           int textColorIndex, int backColorIndex, RECT* links, int* linkCount,
                           UINT style) {
    const COLORREF back =
        backColorIndex == UITheme::kNoFill ? kNoColor : UITheme::Get().Color(backColorIndex);
    DrawMarkupText(dc, manager, rect, text, UITheme::Get().Color(textColorIndex), back, links,
                   linkCount, style);
}

RECT MeasureMarkupText(CUIManager* manager, const RECT& rect, std::string_view text, UINT style) {
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    CDC dc(painter);
    RECT r = rect;
    DrawMarkupText(dc, manager, r, text, 0, kNoColor, nullptr, nullptr, style | DT_CALCRECT);
    return r;
}

void SetMarkupTextObserver(MarkupTextObserver observer) {
    Observer() = std::move(observer);
}

bool MarkupTextFits(const MarkupTextRecord& record) {
    if (record.style & DT_END_ELLIPSIS) return true;
    if (record.leftOver) return false;
    for (const MarkupTextPiece& piece : record.pieces) {
        if (!(QRegion(piece.ink) - record.visible).isEmpty()) return false;
    }
    return true;
}

}  // namespace vm
