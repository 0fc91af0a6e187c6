#pragma once

// A picture-based progress bar: the bar image uncovered from the left (optionally with a
// slanted leading edge), or, on a window without state images, a tiled track and fill.

#include <QImage>
#include <string_view>

#include "skin/CUIControl.h"

namespace vm {

class CUIProgressBar : public CUIControl {
  public:
    // Clamped to the range.
    void SetValue(int value);
    int GetValue() const { return value_; }
    void SetRange(int minimum, int maximum, bool redraw = true);
    int GetMinimum() const { return min_; }
    int GetMaximum() const { return max_; }
    bool LoadImage(int pngNumber, std::string_view module = {});
    void SetImage(const QImage& image) { image_ = image; }
    void SetSlanted(bool slanted) { slanted_ = slanted; }
    void SetSlantOffset(int pixels) { slantOffset_ = pixels; }
    void SetWidth(int width) { width_ = width; }
    void SetTextStyle(UINT style) { textStyle_ = style; }
    // 1 forces the track drawing.
    void SetDrawMode(int mode) { drawMode_ = mode; }

    void SetText(std::string_view text) override;
    const char* GetClass() const override { return "ProgressBarUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE available) override;
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    void PaintImageMode(CDC& dc);
    void PaintTrackMode(CDC& dc);

    int value_ = 0;
    int width_ = 0;
    QImage image_;
    UINT textStyle_ = 5;
    int max_ = 100;
    int min_ = 0;
    int drawMode_ = 0;
    bool slanted_ = false;
    int slantOffset_ = 0;
};

}  // namespace vm
