#pragma once

// The windowless vertical scroll bar a container makes when its content is taller than it is.
// It draws itself from a sprite (four state columns; rows: up arrow, down arrow, track, thumb,
// grip, spare) and sends every scroll request to its container as a VScroll event with the
// scroll code in wParam. UI thread only.

#include <QImage>
#include <array>

#include "skin/CUIControl.h"
#include "skin/IScrollBarUI.h"

namespace vm {

// Scroll codes, with the system's values.
constexpr WPARAM SB_LINEUP = 0;
constexpr WPARAM SB_LINEDOWN = 1;
constexpr WPARAM SB_PAGEUP = 2;
constexpr WPARAM SB_PAGEDOWN = 3;
constexpr WPARAM SB_THUMBPOSITION = 4;
constexpr WPARAM SB_THUMBTRACK = 5;
constexpr WPARAM SB_TOP = 6;
constexpr WPARAM SB_BOTTOM = 7;
constexpr WPARAM SB_ENDSCROLL = 8;

// The default scroll-bar sprite of the library (4 x 6 cells of 15 x 16), drawn in the theme.
const QImage& DefaultScrollBarImage();

class CUIVScrollBar : public CUIControl, public IScrollBarUI {
  public:
    // Timer of the held arrow or track, and its period.
    static constexpr UINT kRepeatTimer = 8888;
    static constexpr UINT kRepeatMs = 500;

    enum Part { Thumb, UpArrow, DownArrow, UpperTrack, LowerTrack, PartCount };
    // Source rows of the sprite.
    enum Source { SrcUp, SrcDown, SrcUpperTrack, SrcLowerTrack, SrcThumb, SrcGrip, SrcSpare };

    CUIVScrollBar();

    // IScrollBarUI
    void SetRange(int minimum, int maximum, bool redraw = true) override;
    void GetRange(int& minimum, int& maximum) const override;
    void SetPage(int page) override;
    int GetPage() const override { return m_page; }
    void SetLine(int line) override { m_line = std::max(1, line); }
    int GetLine() const override { return m_line; }
    void SetScrollPos(int pos, bool redraw = true) override;
    int GetScrollPos() const override { return m_position; }
    int GetBarWidth() const override;
    void ApplySkin(const ScrollBarSkin* skin) override;

    // Takes a copy; cells are a quarter of the width and a sixth of the height.
    void SetImage(const QImage& image);
    void SetSourceRect(Source which, const RECT& rect) { m_source[which] = rect; }
    const RECT& GetSourceRect(Source which) const { return m_source[which]; }
    void SetFixedWidth(int width) { m_fixedWidth = width; }
    // Rectangle and state bits of a part after the last layout.
    const RECT& GetPartRect(Part part) const { return m_part[part]; }
    UINT GetPartState(Part part) const { return m_state[part]; }

    // CUIControl
    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "SliderCtrlUI"; }
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP | UIFLAG_SETCURSOR; }
    SIZE EstimateSize(SIZE) override { return SIZE{GetBarWidth(), 0}; }
    void SetPos(int left, int top, int right, int bottom) override;
    void Event(UIEvent& event) override;
    void DoPaint(CDC& dc, const RECT& paint) override;
    using CUIControl::SetPos;

  private:
    void Layout();
    int MaxPos() const { return std::max(m_min, m_max - m_page); }
    // Moves by `delta`, tells the container with `code`; false when nothing moved.
    bool Step(int delta, WPARAM code);
    void Request(WPARAM code);
    int ArrowHeight() const { return m_cellHeight; }

    int m_fixedWidth = 0;
    int m_paddingX = 4;
    int m_paddingY = 0;
    QImage m_image;
    UINT m_textStyle = 37;
    int m_min = 0;
    int m_max = 10;
    int m_page = 2;
    int m_line = 1;
    int m_position = 0;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    std::array<RECT, 7> m_source{};
    std::array<RECT, PartCount> m_part{};
    std::array<UINT, PartCount> m_state{};
    int m_margin = 3;
    POINT m_dragStart;
    int m_dragThumbTop = 0;
    double m_thumbLength = 0;
};

}  // namespace vm
