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

    void SetWidth(int width) { width_ = width; }
    // Centre or right alignment also gets single line and vertical centring.
    void SetTextStyle(UINT style);
    UINT GetTextStyle() const { return textStyle_; }
    // `disabled` 0x010101 keeps the disabled colour.
    void SetTextColor(COLORREF color, COLORREF disabled = kNoColor);
    void SetBackColor(COLORREF color) { backColor_ = color; }
    void SetInnerFrameColor(COLORREF color) { innerFrame_ = color; }
    void SetOuterFrameColor(COLORREF color) { outerFrame_ = color; }
    void SetImage(const QImage& image);
    bool LoadImage(int pngNumber, std::string_view module = {});
    bool LoadImageFile(const std::filesystem::path& path);
    const QImage& GetImage() const { return image_; }
    void SetClickableImage(bool clickable) { clickableImage_ = clickable; }
    void SetFrameCount(int count);
    void SetFrameInterval(int ms) { interval_ = ms > 0 ? ms : 100; }
    void SetImageSize(int cx, int cy) { imageSize_ = SIZE{cx, cy}; }
    void SetOpacity(double opacity);
    void SetLineSpacing(int spacing) { lineSpacing_ = spacing; }
    int GetCurrentFrame() const { return frame_; }
    double GetOpacity() const { return opacity_; }
    int GetLinkCount() const { return linkCount_; }
    int GetClickedLink() const { return clickedLink_; }
    const RECT& GetLinkRect(int index) const { return links_.at(static_cast<std::size_t>(index)); }

    void SetText(std::string_view text) override;
    bool Activate() override;
    const char* GetClass() const override { return "LabelUI"; }
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

    int width_ = 0;
    UINT textStyle_ = 36;
    int linkCount_ = 0;
    int clickedLink_ = -1;
    std::array<RECT, kMaxLinks> links_{};
    QImage image_;
    COLORREF textColor_ = 0;
    COLORREF disabledColor_ = 0xAAA6A7;
    COLORREF backColor_ = kNoColor;
    COLORREF innerFrame_ = kNoColor;
    COLORREF outerFrame_ = kNoColor;
    int frame_ = 0;
    int frameCount_ = 1;
    int interval_ = 100;
    SIZE imageSize_{0, 0};
    bool clickableImage_ = false;
    double opacity_ = 1.0;
    int lineSpacing_ = -1;
};

}  // namespace vm
