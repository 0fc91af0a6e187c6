#pragma once

// Push button, check box, radio button or toggle. Its face is a four-frame sprite (normal,
// hot, pushed, disabled), or, without one, the window's state image cut at the button's place
// (following its polygon), or a drawn gradient face. UI thread only.

#include <QImage>
#include <string_view>

#include "skin/CUIControl.h"
#include "skin/IUIChecked.h"

namespace vm {

class CUIButton : public CUIControl, public IUIChecked {
  public:
    void SetImage(const QImage& image) { image_ = image.copy(); }
    bool LoadImage(int pngNumber, std::string_view module = {});
    const QImage& GetImage() const { return image_; }
    void SetTextColors(COLORREF normal, COLORREF hot, COLORREF pushed, COLORREF disabled);
    void SetWidth(int width) { width_ = width; }
    void SetTextStyle(UINT style) { textStyle_ = style; }
    UINT GetState() const { return state_; }

    // IUIChecked
    bool GetCheck() const override { return checked_; }
    void SetCheck(bool checked) override;
    void SetGroupRange(int firstId, int lastId) override;
    void SetCheckMode(int mode) override { checkMode_ = mode; }
    int GetCheckMode() const override { return checkMode_; }

    void SetText(std::string_view text) override;
    bool Activate() override;
    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "ButtonUI"; }
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP | UIFLAG_SETCURSOR; }
    SIZE EstimateSize(SIZE available) override;
    void Event(UIEvent& event) override;
    void SetAttribute(std::string_view name, std::string_view value) override;
    void DoPaint(CDC& dc, const RECT& paint) override;

    // Filled by the owning window.
    QImage checkImage;  // a second four-frame sprite at the right end
    int paddingX = 4;
    int paddingY = 0;
    bool autoSize = false;  // the text box moves right by autoSizeExtra
    int autoSizeExtra = 0;
    int textOffsetX = 0;  // both 0: the text fills the padded box
    int textOffsetY = 0;
    bool checkImageAlways = false;
    bool checkImageAlwaysHot = false;

  private:
    bool Inside(POINT pt) const;
    RECT CheckArea() const;
    void PaintGlyph(CDC& dc, UINT state);
    void PaintFace(CDC& dc, UINT state);
    void PaintText(CDC& dc, const RECT& box, COLORREF color);

    int width_ = 0;
    UINT textStyle_ = 37;
    UINT state_ = 0;
    QImage image_;
    bool checked_ = false;
    UINT checkState_ = 0;
    int groupFirst_ = -1;
    int groupLast_ = -1;
    int checkMode_ = UICHECK_PUSH;
    COLORREF normalColor_ = 0;
    COLORREF hotColor_ = 0x140000;
    COLORREF pushedColor_ = 0x140000;
    COLORREF disabledColor_ = 0x808080;
};

}  // namespace vm
