#pragma once

// A windowless edit field. It draws its own box and text; while it has the focus (and is
// neither read-only nor disabled) a real Qt line edit lies over it for typing, so input
// methods work, and goes when the focus leaves. The persistent variant keeps a multi-line
// overlay for its whole life. The control owns its overlay; UI thread only.

#include <QImage>
#include <string>
#include <string_view>

#include "skin/CUIControl.h"

class QWidget;

namespace vm {

class CUIEditWnd;

// Edit styles, with the system's values; the low three bits double as text-drawing flags.
constexpr UINT ES_CENTER = 0x1;
constexpr UINT ES_RIGHT = 0x2;
constexpr UINT ES_MULTILINE = 0x4;
constexpr UINT ES_PASSWORD = 0x20;
constexpr UINT ES_AUTOVSCROLL = 0x40;
constexpr UINT ES_AUTOHSCROLL = 0x80;
constexpr UINT ES_WANTRETURN = 0x1000;

class CUIEdit : public CUIControl {
  public:
    CUIEdit() = default;
    ~CUIEdit() override;

    // Stores the text, updates a persistent overlay, sends TextChanged when `notify`.
    void SetText(std::string_view text, bool notify);
    void SetText(std::string_view text) override { SetText(text, false); }
    void SetEditStyle(UINT style) { m_editStyle = style; }
    UINT GetEditStyle() const { return m_editStyle; }
    void SetPassword(bool password);
    bool IsPassword() const { return m_password; }
    void SetTextLimit(int limit);
    int GetTextLimit() const { return m_textLimit; }
    // Forwarded to a live overlay (character positions; -1 as end means the end).
    void SetSelection(int start, int end);

    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_readOnly; }
    // Set before the control joins its window.
    void SetPersistent(bool persistent, bool wantReturn = false) {
        m_persistent = persistent;
        m_persistentStyle = wantReturn;
    }
    bool IsPersistent() const { return m_persistent; }
    void SetFrameWidth(int width) { m_frameWidth = width; }
    int GetFrameWidth() const { return m_frameWidth; }
    void SetFrameImage(QImage image) { m_frameImage = std::move(image); }

    // The Qt edit lying over the control, or null.
    QWidget* GetOverlay() const;

    // CUIControl
    const char* GetClass() const override { return "EditUI"; }
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP | UIFLAG_SETCURSOR; }
    SIZE EstimateSize(SIZE available) override;
    void Init() override;
    void Event(UIEvent& event) override;
    void SetPos(int left, int top, int right, int bottom) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void DoPaint(CDC& dc, const RECT& paint) override;
    using CUIControl::SetPos;

  private:
    friend class CUIEditWnd;
    void CreateOverlay();
    // The overlay lost the keyboard: editing ends, the control draws the text again.
    void EndEdit();
    void OverlayChanged(const std::string& text);
    void OverlayGone(CUIEditWnd* overlay);
    // The drawn text: asterisks for a password.
    std::string DisplayText() const;

    CUIEditWnd* m_overlay = nullptr;
    QImage m_frameImage;
    bool m_readOnly = false;
    bool m_password = false;
    UINT m_editStyle = ES_AUTOHSCROLL;
    bool m_persistent = false;
    bool m_persistentStyle = false;
    int m_frameWidth = 1;
    int m_textLimit = 0;
};

}  // namespace vm
