#pragma once

// One per skinned window: owns the control tree, turns the window's messages into control
// events, keeps focus, hot and capture state, runs control timers, shows tooltips, paints the
// tree through an off-screen image and sends notifications to the window's listeners.
//
// Ownership: the manager owns the root (and so the tree) and the controls parked for
// deletion; it borrows the window and the listeners. UI thread only.

#include <QImage>
#include <QPointer>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/CUIControl.h"
#include "skin/INotifyUI.h"
#include "skin/NativeWindow.h"
#include "skin/UITheme.h"
#include "skin/WinMessages.h"

namespace vm {

enum class CursorKind { Arrow, Hand, IBeam };

class CUIManager {
  public:
    CUIManager();
    ~CUIManager();
    CUIManager(const CUIManager&) = delete;
    CUIManager& operator=(const CUIManager&) = delete;

    void Init(NativeWindow* window);
    // Takes the tree; the previous one is deleted once the window handles WM_UI_REAP.
    bool AttachDialog(std::unique_ptr<CUIControl> root);
    bool InitControls(CUIControl* control, CUIControl* parent = nullptr);
    bool AddNotifier(INotifyUI* listener);
    bool RemoveNotifier(INotifyUI* listener);
    void SendNotify(CUIControl* control, UINotifyCode code, WPARAM wParam = 0, LPARAM lParam = 0);

    CUIControl* GetRoot() const { return m_root.get(); }
    CUIControl* FindControl(std::string_view name);
    CUIControl* FindControl(int id);
    CUIControl* FindControlAt(POINT pt);
    void ResetNameTable() { m_nameTable.clear(); }

    CUIControl* GetFocus() const { return m_focus; }
    void SetFocus(CUIControl* control);
    bool SetNextTabControl(bool forward = true);

    // Control timers: `number` is the control's own; false when the window refused it.
    bool SetTimer(CUIControl* control, UINT number, UINT elapseMs);
    bool KillTimer(CUIControl* control, UINT number);
    // The window timer id the last SetTimer used.
    std::uintptr_t LastTimerId() const { return m_lastTimerId; }

    void Invalidate();
    void Invalidate(const RECT& rect);
    void SetCursor(CursorKind cursor);

    const QFont* GetThemeFont(int index) { return UITheme::Get().Font(index); }
    TEXTMETRIC GetThemeFontInfo(int index) { return UITheme::Get().FontInfo(index); }
    COLORREF GetThemeColor(int index) const { return UITheme::Get().Color(index); }
    bool GetThemeColorPair(int index, COLORREF& first, COLORREF& second) const {
        return UITheme::Get().ColorPair(index, first, second);
    }
    const QPen& GetThemePen(int index) { return UITheme::Get().Pen(index); }
    const QBrush& GetThemeBrush(int index) { return UITheme::Get().Brush(index); }

    // The four state images of the window (0 background/normal, 1 hot, 2 pushed, 3 disabled).
    const QImage& GetImage(int index) const { return m_images.at(static_cast<std::size_t>(index)); }
    void SetImage(int index, QImage image) {
        m_images.at(static_cast<std::size_t>(index)) = std::move(image);
    }

    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool TranslateMessage(const MSG& msg);
    // Offers a key message to every manager whose window it is meant for.
    static bool TranslateMessageAll(const MSG& msg);

    POINT GetMousePos() const { return m_mouse; }
    bool IsAcceleratorDisplayed() const { return m_acceleratorDisplay; }
    NativeWindow* GetPaintWindow() const { return m_window; }
    // The off-screen image the tree was last painted into.
    const QImage& GetBackBuffer() const { return m_offscreen; }
    SIZE GetMinTrackSize() const { return m_minTrack; }
    void SetMinTrackSize(SIZE size) { m_minTrack = size; }
    // Text of the tooltip last shown (empty when hidden).
    const std::string& GetToolTipText() const { return m_tooltipText; }

    // A control being deleted: forget every pointer that names it.
    void ReapObjects(CUIControl* control);

  private:
    struct TimerInfo {
        CUIControl* control;
        UINT number;
        std::uintptr_t id;
    };

    void EnsureNameTable();
    UIEvent MakeEvent(UIEventType type, CUIControl* sender = nullptr) const;
    void SendEvent(CUIControl* control, UIEvent event);
    bool Owns(CUIControl* control) const { return control && control->GetManager() == this; }
    void Paint();
    // Pixels per point of what `screen` paints on (1 without one: the window's own).
    qreal PaintRatio(QPainter* screen) const;
    void ShowToolTip(CUIControl* control);
    void HideToolTip();
    std::uint16_t KeyStateFromKeyboard() const;

    std::array<QImage, 4> m_images;
    QPointer<NativeWindow> m_window;
    QImage m_offscreen;
    std::string m_tooltipText;
    std::unique_ptr<CUIControl> m_root;
    CUIControl* m_focus = nullptr;
    CUIControl* m_hot = nullptr;
    CUIControl* m_captured = nullptr;
    CUIControl* m_keyTarget = nullptr;
    POINT m_mouse{-1, -1};
    SIZE m_minTrack{140, 200};
    UINT m_timerCounter = 4096;
    std::uintptr_t m_lastTimerId = 0;
    bool m_firstLayout = true;
    bool m_layoutNeeded = false;
    bool m_focusNeeded = false;
    bool m_mouseTracking = false;
    bool m_acceleratorDisplay = false;
    bool m_tooltipShown = false;
    std::vector<INotifyUI*> m_listeners;
    std::vector<CUIControl*> m_nameTable;  // open addressing; empty = build on next lookup
    std::vector<TimerInfo> m_timers;
    std::vector<std::unique_ptr<CUIControl>> m_delayedCleanup;
};

}  // namespace vm
