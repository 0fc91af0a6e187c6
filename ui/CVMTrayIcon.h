#pragma once

#include <QMenu>
#include <QPointer>

#include "ui/CSysTrayIcon.h"

namespace vm {

class CWindowWnd;

// The program's tray icon: a left click toggles the main window, a right click shows the tray
// menu (its default item bold), a click on the balloon offers the combat-log upload. The main
// window owns it and the menu; UI thread only.
class CVMTrayIcon : public CSysTrayIcon {
  public:
    explicit CVMTrayIcon(std::unique_ptr<ITrayShell> shell = MakeQtTrayShell())
        : CSysTrayIcon(std::move(shell)) {}

    void SetMainWnd(CWindowWnd* wnd) { m_mainWnd = wnd; }
    QPointer<QMenu> m_pMenu;

    void OnLButtonDown(UINT id, QPoint pt) override;
    void OnRButtonUp(UINT id, QPoint pt) override;
    void OnBalloonClick(UINT id, QPoint pt) override;

  private:
    CWindowWnd* m_mainWnd = nullptr;
};

}  // namespace vm
