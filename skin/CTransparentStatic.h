#pragma once

// A static text child that draws only its text (in its font, no background), so the skinned
// window behind it shows through. UI thread only; owned by its parent widget.

#include <QWidget>

#include "skin/MarkupLayout.h"
#include "skin/WinTypes.h"

namespace vm {

// Static control styles, with the system's values.
constexpr UINT SS_LEFT = 0x0;
constexpr UINT SS_CENTER = 0x1;
constexpr UINT SS_RIGHT = 0x2;
constexpr UINT SS_NOPREFIX = 0x80;
constexpr UINT SS_CENTERIMAGE = 0x200;
constexpr UINT SS_ENDELLIPSIS = 0x4000;
constexpr UINT SS_PATHELLIPSIS = 0x8000;
constexpr UINT SS_WORDELLIPSIS = 0xC000;
constexpr UINT SS_ELLIPSISMASK = 0xC000;

// Text-drawing flags that only the static needs.
constexpr UINT DT_PATH_ELLIPSIS = 0x4000;
constexpr UINT DT_WORD_ELLIPSIS = 0x40000;

// The text-drawing flags a static style asks for.
UINT StaticStyleToDrawFlags(UINT style);

class CTransparentStatic : public QWidget {
  public:
    CTransparentStatic(QWidget* parent, UINT style);

    void SetText(const QString& text);
    const QString& Text() const { return m_text; }
    void SetTextColor(COLORREF color);
    UINT Style() const { return m_style; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    UINT m_style;
    QString m_text;
    COLORREF m_color = 0;
};

}  // namespace vm
