#include <QPointer>

#include "ui/CDlgStatus.h"
#include "ui/IBusyWindow.h"

namespace vm {

namespace {

// The busy window (CDlgStatus) behind the main window's small interface; the dialog is a
// child of the main window and goes with it.
class StatusBusyWindow : public IBusyWindow {
  public:
    explicit StatusBusyWindow(HWND owner) : m_dlg(new CDlgStatus(owner)) {}
    void Show(const std::string& text) override {
        if (m_dlg) m_dlg->Show(text);
    }
    void Hide() override {
        if (m_dlg) m_dlg->Hide();
    }
    bool IsVisible() const override { return m_dlg && m_dlg->IsVisible(); }

  private:
    QPointer<CDlgStatus> m_dlg;
};

}  // namespace

std::unique_ptr<IBusyWindow> MakeBusyWindow(HWND owner) {
    return std::make_unique<StatusBusyWindow>(owner);
}

}  // namespace vm
