#include <QPointer>

#include "skin/CSkinDialog.h"
#include "skin/CUILabel.h"
#include "ui/IBusyWindow.h"

namespace vm {

namespace {

// A small skinned window with one line of text; the start-up windows bring the real one.
class BusyWindow : public IBusyWindow, public CSkinDialog {
  public:
    explicit BusyWindow(HWND owner) {
        Create(owner, "TovrinVelmora", 300, 80);
        SetRoundCorner(5);
        m_label = CreateLabel(1110, 20, 25, 280, 55);
        if (m_label) {
            m_label->SetTextStyle(0x25);
            m_label->SetTextColor(RGB(230, 210, 255));
        }
    }
    void Show(const std::string& text) override {
        if (m_label) m_label->SetText(text);
        CenterWindow();
        ShowWindow(true, false);
    }
    void Hide() override { ShowWindow(false, false); }
    bool IsVisible() const override { return Window() && Window()->isVisible(); }

  protected:
    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        // The work behind it cannot be stopped; closing the window is not offered.
        if (msg == WM_CLOSE) return 0;
        return CSkinDialog::DialogProc(msg, wParam, lParam);
    }

  private:
    CUILabel* m_label = nullptr;
};

}  // namespace

std::unique_ptr<IBusyWindow> MakeBusyWindow(HWND owner) {
    return std::make_unique<BusyWindow>(owner);
}

}  // namespace vm
