#pragma once

// Marked-up text with up to ten links, over an optional animated image strip. UI thread only.

#include <QImage>
#include <array>
#include <filesystem>
#include <string_view>

#include "skin/CUIControl.h"

namespace vm {

class CUILabel : public CUIControl {
  public:
    static constexpr UINT kAnimationTimer = 2006;
    static constexpr int kMaxLinks = 10;

    void SetWidth(int width) { m_width = width; }
    // Centre or right alignment also gets single line and vertical centring.
    void SetTextStyle(UINT style);
    UINT GetTextStyle() const { return m_textStyle; }
    // `disabled` 0x010101 keeps the disabled colour.
    void SetTextColor(COLORREF color, COLORREF disabled = kNoColor);
    void SetBackColor(COLORREF color) { m_backColor = color; }
    void SetInnerFrameColor(COLORREF color) { m_innerFrame = color; }
    void SetOuterFrameColor(COLORREF color) { m_outerFrame = color; }
    void SetImage(const QImage& image);
    bool LoadImage(int pngNumber, std::string_view module = {});
    bool LoadImageFile(const std::filesystem::path& path);
    const QImage& GetImage() const { return m_image; }
    void SetClickableImage(bool clickable) { m_clickableImage = clickable; }
    void SetFrameCount(int count);
    void SetFrameInterval(int ms) { m_interval = ms > 0 ? ms : 100; }
    void SetImageSize(int cx, int cy) { m_imageSize = SIZE{cx, cy}; }
    void SetOpacity(double opacity);
    void SetLineSpacing(int spacing) { m_lineSpacing = spacing; }
    int GetCurrentFrame() const { return m_frame; }
    double GetOpacity() const { return m_opacity; }
    int GetLinkCount() const { return m_linkCount; }
    int GetClickedLink() const { return m_clickedLink; }
    const RECT& GetLinkRect(int index) const { return m_links.at(static_cast<std::size_t>(index)); }

    void SetText(std::string_view text) override;
    bool Activate() override;
    const char* GetClass() const override { return "LabelPanelUI"; }
    UINT GetControlFlags() const override;
    SIZE EstimateSize(SIZE available) override;
    void Init() override;
    void Event(UIEvent& event) override;
    void SetAttribute(std::string_view name, std::string_view value) override;
    void DoPaint(CDC& dc, const RECT& paint) override;

  private:
    bool HasLinks() const;
    void StartAnimation();
    void PaintImage(CDC& dc);

    int m_width = 0;
    UINT m_textStyle = 36;
    int m_linkCount = 0;
    int m_clickedLink = -1;
    std::array<RECT, kMaxLinks> m_links{};
    QImage m_image;
    COLORREF m_textColor = 0;
    COLORREF m_disabledColor = 0xAAA6A7;
    COLORREF m_backColor = kNoColor;
    COLORREF m_innerFrame = kNoColor;
    COLORREF m_outerFrame = kNoColor;
    int m_frame = 0;
    int m_frameCount = 1;
    int m_interval = 100;
    SIZE m_imageSize{0, 0};
    bool m_clickableImage = false;
    double m_opacity = 1.0;
    int m_lineSpacing = -1;
};

}  // namespace vm
