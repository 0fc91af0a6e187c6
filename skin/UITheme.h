#pragma once

// The process-wide theme: ten fonts, 63 colour pairs with their pens and brushes, and the five
// default images. Built on first use and never released. UI thread only.

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPen>
#include <array>
#include <optional>

#include "skin/WinTypes.h"

namespace vm {

enum class DefaultImage { DialogBackground, ButtonFace, MessageBoxBackground, CheckBox, Radio };

class UITheme {
  public:
    static constexpr int kFontCount = 10;
    static constexpr int kColorCount = 63;
    // A fill index meaning "no fill" for the drawing helpers.
    static constexpr int kNoFill = 65;

    static UITheme& Get();
    static TEXTMETRIC MetricsOf(const QFont& font);

    // Font `index` 1-10, or null outside.
    const QFont* Font(int index);
    // Its metrics; all zero outside 1-10.
    TEXTMETRIC FontInfo(int index);

    // First colour of pair `index` 1-63; 0 outside.
    COLORREF Color(int index) const;
    // False outside 1-63.
    bool ColorPair(int index, COLORREF& first, COLORREF& second) const;
    // Solid one-pixel pen and solid brush of the first colour, made once per index.
    const QPen& Pen(int index);
    const QBrush& Brush(int index);
    void SetColorPair(int index, COLORREF first, COLORREF second);

    // The setters skinned dialogs forward for their edit fields.
    void SetEditBackColor(COLORREF color) { SetFirst(30, color); }
    void SetEditTextColor(COLORREF color) { SetFirst(34, color); }
    void SetDisabledEditBackColor(COLORREF color) { SetFirst(32, color); }
    // `second` 0x010101 means the same as `first`.
    void SetEditFrameColors(COLORREF first, COLORREF second) { SetFramePair(37, first, second); }
    void SetFocusedEditFrameColors(COLORREF first, COLORREF second) {
        SetFramePair(39, first, second);
    }
    void SetReadOnlyEditFrameColors(COLORREF first, COLORREF second) {
        SetFramePair(41, first, second);
    }

    // Null image when it was never set (or failed to load).
    const QImage& Image(DefaultImage which) const;
    void SetImage(DefaultImage which, QImage image);

  private:
    UITheme();
    void SetFirst(int index, COLORREF color);
    void SetFramePair(int first, COLORREF a, COLORREF b);
    void DropCache(int index);

    std::array<QFont, kFontCount + 1> m_fonts;
    std::array<std::optional<TEXTMETRIC>, kFontCount + 1> m_metrics;
    std::array<COLORREF, kColorCount + 1> m_first{};
    std::array<COLORREF, kColorCount + 1> m_second{};
    std::array<std::optional<QPen>, kColorCount + 1> m_pens;
    std::array<std::optional<QBrush>, kColorCount + 1> m_brushes;
    std::array<QImage, 5> m_images;
};

}  // namespace vm
