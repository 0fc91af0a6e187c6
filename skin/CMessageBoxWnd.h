#pragma once

// The skinned message box: a draggable title strip with a close button, an icon, the
// marked-up message and one or two buttons, shown modally over its owner. Its look is set
// process-wide once at start-up. UI thread only; ShowMessageBox owns the box it shows.

#include <QImage>
#include <string>
#include <string_view>

#include "skin/CDialogLayoutUI.h"
#include "skin/CUIManager.h"
#include "skin/CWindowWnd.h"
#include "skin/INotifyUI.h"

namespace vm {

class CMessageBoxWnd : public CWindowWnd, public INotifyUI {
  public:
    // Control ids inside the box.
    static constexpr int kCloseId = 0;
    static constexpr int kTitleId = 1;
    static constexpr int kIconId = 2;
    static constexpr int kMessageId = 3;

    CMessageBoxWnd(std::string message, std::string title, UINT type);
    ~CMessageBoxWnd() override;

    // Shows a box modally over `owner` and returns 1 (OK), 2 (Cancel, the close button, or
    // the box closed some other way), 6 (Yes) or 7 (No).
    static int ShowMessageBox(HWND owner, std::string_view message, std::string_view title,
                              UINT type);
    // The answer of the last box a button closed, 0 before any.
    static int LastResult();

    // Process-wide appearance.
    static void SetCaptionHeight(int height);
    static void SetMargin(int margin);
    static void SetButtonSize(int width, int height);
    static void SetButtonGap(int gap);
    static void SetTitleStyle(UINT style);
    static void SetButtonTextColors(COLORREF normal, COLORREF hot, COLORREF pushed,
                                    COLORREF disabled);
    static void SetMessageColor(COLORREF color);
    static void SetTitleColor(COLORREF color);
    static void SetCornerCut(int size);
    static void SetCloseButtonOffset(int right, int top);
    static void SetTitlePosition(int left, int top);
    // Back to the values before start-up (for tests and tools).
    static void ResetAppearance();

    // Creates and shows the box over `owner` without running the modal loop.
    bool Open(HWND owner);
    // 0 until a button closed this box.
    int GetResult() const { return m_result; }
    // 1 warning, 2 question, 3 error, 4 information.
    int GetIconIndex() const { return m_iconIndex; }
    CUIManager& Manager() { return m_manager; }

    const char* GetWindowClassName() const override { return "MessageBoxWnd"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Notify(UINotify& notify) override;

  private:
    void Build();

    CUIManager m_manager;
    CDialogLayoutUI* m_root = nullptr;
    HWND m_owner = nullptr;
    std::string m_title;
    std::string m_message;
    UINT m_type = 0;
    int m_iconIndex = 4;
    int m_result = 0;
    int m_closeWidth = 0;
};

}  // namespace vm
