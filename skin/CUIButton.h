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
    void SetImage(const QImage& image) { m_image = image.copy(); }
    bool LoadImage(int pngNumber, std::string_view module = {});
    const QImage& GetImage() const { return m_image; }
    void SetTextColors(COLORREF normal, COLORREF hot, COLORREF pushed, COLORREF disabled);
    void SetWidth(int width) { m_width = width; }
    void SetTextStyle(UINT style) { m_textStyle = style; }
    UINT GetState() const { return m_state; }

    // IUIChecked
    bool GetCheck() const override { return m_checked; }
    void SetCheck(bool checked) override;
    void SetGroupRange(int firstId, int lastId) override;
    void SetCheckMode(int mode) override { m_checkMode = mode; }
    int GetCheckMode() const override { return m_checkMode; }

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

    int m_width = 0;
    UINT m_textStyle = 37;
    UINT m_state = 0;
    QImage m_image;
    bool m_checked = false;
    UINT m_checkState = 0;
    int m_groupFirst = -1;
    int m_groupLast = -1;
    int m_checkMode = UICHECK_PUSH;
    COLORREF m_normalColor = 0;
    COLORREF m_hotColor = 0x140000;
    COLORREF m_pushedColor = 0x140000;
    COLORREF m_disabledColor = 0x808080;
};

}  // namespace vm
