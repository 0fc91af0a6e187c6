#pragma once

#include <QImage>

#include "skin/CCanvasUI.h"

namespace vm {

// A group box: a body (image or colour) with an optional caption, then the children.
class CUIGroup : public CCanvasUI {
  public:
    CUIGroup();

    void SetBackColor(COLORREF color) { backColor_ = color; }
    void SetCaptionBackColor(COLORREF color) { captionBackColor_ = color; }
    void SetImage(QImage image) { image_ = std::move(image); }
    void SetTextStyle(UINT style) { textStyle_ = style; }
    UINT GetTextStyle() const { return textStyle_; }

    const char* GetClass() const override { return "GroupUI"; }
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    COLORREF backColor_;
    COLORREF captionBackColor_ = kNoColor;
    QImage image_;
    UINT textStyle_ = 36;
};

}  // namespace vm
