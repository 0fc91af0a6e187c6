#pragma once

// The drawing context of the skinned library: a thin wrapper over a QPainter with the few
// GDI habits the controls are written against (a clip stack, a selected theme font, a text
// colour, exclusive right and bottom edges). Antialiasing is off for shapes so that edges
// land on exact pixels; text keeps Qt's smoothing. Borrowed painter; UI thread only.

#include <QFont>
#include <QPainter>
#include <string_view>
#include <vector>

#include "skin/WinTypes.h"

namespace vm {

class CDC {
  public:
    explicit CDC(QPainter& painter);

    QPainter& Painter() { return m_painter; }

    // Saves clip, font and text colour; RestoreDC brings back the last saved state.
    void SaveDC();
    void RestoreDC();
    void IntersectClip(const RECT& rect);
    void IntersectClip(const QRegion& region);

    // Selects theme font `index` (1-10); other numbers select nothing and return false.
    bool SelectThemeFont(int index);
    void SelectFont(const QFont& font);
    const QFont& Font() const { return m_font; }
    TEXTMETRIC GetTextMetrics() const;
    SIZE GetTextExtent(std::u16string_view text) const;
    SIZE GetTextExtent(std::string_view utf8) const;

    void SetTextColor(COLORREF color) { m_textColor = color; }
    COLORREF GetTextColor() const { return m_textColor; }
    // Text with its cell's top-left corner at (x, y).
    void TextOut(int x, int y, std::u16string_view text);
    void TextOut(int x, int y, std::string_view utf8);

    void FillRect(const RECT& rect, COLORREF color);
    void FillRect(const RECT& rect, const QBrush& brush);
    // Horizontal and vertical one-pixel lines; the end point is not drawn.
    void HLine(int x1, int x2, int y, COLORREF color);
    void VLine(int x, int y1, int y2, COLORREF color);
    // One-pixel outline inside `rect`.
    void FrameRect(const RECT& rect, COLORREF color);
    void FillPolygon(const POINT* points, int count, const QBrush& brush,
                     Qt::FillRule rule = Qt::OddEvenFill);
    // Draws `source` of `image` scaled into `dest` (nearest pixel, so no neighbour bleeds in).
    void DrawImage(const RECT& dest, const QImage& image, const RECT& source);
    void DrawImage(int x, int y, const QImage& image);
    // A brush tiling `source` of `image` with its top-left at `origin`.
    QBrush ImageBrush(const QImage& image, const RECT& source, POINT origin) const;
    // The twice-size drawing of `image` when this context has two pixels a point (or more)
    // and one exists; else null. Drawing from it keeps artwork sharp on scaled screens.
    const QImage* Sharper(const QImage& image) const;

  private:
    struct State {
        QFont font;
        COLORREF textColor;
    };
    QPainter& m_painter;
    QFont m_font;
    COLORREF m_textColor = 0;
    std::vector<State> m_saved;
};

QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);
QRect ToQRect(const RECT& r);
RECT FromQRect(const QRect& r);

}  // namespace vm
