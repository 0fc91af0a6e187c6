#pragma once

#include <QImage>

#include "skin/CCanvasUI.h"

namespace vm {

// A group box: a body (image or colour) with an optional caption, then the children.
class CUIGroup : public CCanvasUI {
  public:
    CUIGroup();

    void SetBackColor(COLORREF color) { m_backColor = color; }
    void SetCaptionBackColor(COLORREF color) { m_captionBackColor = color; }
    void SetImage(QImage image) { m_image = std::move(image); }
    void SetTextStyle(UINT style) { m_textStyle = style; }
    UINT GetTextStyle() const { return m_textStyle; }

    const char* GetClass() const override { return "GroupUI"; }
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    COLORREF m_backColor;
    COLORREF m_captionBackColor = kNoColor;
    QImage m_image;
    UINT m_textStyle = 36;
};

}  // namespace vm
