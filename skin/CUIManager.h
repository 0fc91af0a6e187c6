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

    CUIControl* GetRoot() const { return root_.get(); }
    CUIControl* FindControl(std::string_view name);
    CUIControl* FindControl(int id);
    CUIControl* FindControlAt(POINT pt);
    void ResetNameTable() { nameTable_.clear(); }

    CUIControl* GetFocus() const { return focus_; }
    void SetFocus(CUIControl* control);
    bool SetNextTabControl(bool forward = true);

    // Control timers: `number` is the control's own; false when the window refused it.
    bool SetTimer(CUIControl* control, UINT number, UINT elapseMs);
    bool KillTimer(CUIControl* control, UINT number);
    // The window timer id the last SetTimer used.
    std::uintptr_t LastTimerId() const { return lastTimerId_; }

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
    const QImage& GetImage(int index) const { return images_.at(static_cast<std::size_t>(index)); }
    void SetImage(int index, QImage image) {
        images_.at(static_cast<std::size_t>(index)) = std::move(image);
    }

    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool TranslateMessage(const MSG& msg);
    // Offers a key message to every manager whose window it is meant for.
    static bool TranslateMessageAll(const MSG& msg);

    POINT GetMousePos() const { return mouse_; }
    bool IsAcceleratorDisplayed() const { return acceleratorDisplay_; }
    NativeWindow* GetPaintWindow() const { return window_; }
    // The off-screen image the tree was last painted into.
    const QImage& GetBackBuffer() const { return offscreen_; }
    SIZE GetMinTrackSize() const { return minTrack_; }
    void SetMinTrackSize(SIZE size) { minTrack_ = size; }
    // Text of the tooltip last shown (empty when hidden).
    const std::string& GetToolTipText() const { return tooltipText_; }

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
    void ShowToolTip(CUIControl* control);
    void HideToolTip();
    std::uint16_t KeyStateFromKeyboard() const;

    std::array<QImage, 4> images_;
    QPointer<NativeWindow> window_;
    QImage offscreen_;
    std::string tooltipText_;
    std::unique_ptr<CUIControl> root_;
    CUIControl* focus_ = nullptr;
    CUIControl* hot_ = nullptr;
    CUIControl* captured_ = nullptr;
    CUIControl* keyTarget_ = nullptr;
    POINT mouse_{-1, -1};
    SIZE minTrack_{140, 200};
    UINT timerCounter_ = 4096;
    std::uintptr_t lastTimerId_ = 0;
    bool firstLayout_ = true;
    bool layoutNeeded_ = false;
    bool focusNeeded_ = false;
    bool mouseTracking_ = false;
    bool acceleratorDisplay_ = false;
    bool tooltipShown_ = false;
    std::vector<INotifyUI*> listeners_;
    std::vector<CUIControl*> nameTable_;  // open addressing; empty = build on next lookup
    std::vector<TimerInfo> timers_;
    std::vector<std::unique_ptr<CUIControl>> delayedCleanup_;
};

}  // namespace vm
