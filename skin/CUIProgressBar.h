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
    int GetValue() const { return m_value; }
    void SetRange(int minimum, int maximum, bool redraw = true);
    int GetMinimum() const { return m_min; }
    int GetMaximum() const { return m_max; }
    bool LoadImage(int pngNumber, std::string_view module = {});
    void SetImage(const QImage& image) { m_image = image; }
    void SetSlanted(bool slanted) { m_slanted = slanted; }
    void SetSlantOffset(int pixels) { m_slantOffset = pixels; }
    void SetWidth(int width) { m_width = width; }
    void SetTextStyle(UINT style) { m_textStyle = style; }
    // 1 forces the track drawing.
    void SetDrawMode(int mode) { m_drawMode = mode; }

    void SetText(std::string_view text) override;
    const char* GetClass() const override { return "ProgressBarUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE available) override;
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    void PaintImageMode(CDC& dc);
    void PaintTrackMode(CDC& dc);

    int m_value = 0;
    int m_width = 0;
    QImage m_image;
    UINT m_textStyle = 5;
    int m_max = 100;
    int m_min = 0;
    int m_drawMode = 0;
    bool m_slanted = false;
    int m_slantOffset = 0;
};

}  // namespace vm
