#include "ui/CVMTrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "skin/CWindowWnd.h"
#include "ui/WindowIds.h"

namespace vm {

void CVMTrayIcon::OnLButtonDown(UINT, QPoint) {
    if (m_mainWnd) m_mainWnd->PostMessage(WM_COMMAND, ID_TOGGLE_WINDOW, 0);
}

void CVMTrayIcon::OnRButtonUp(UINT, QPoint pt) {
    if (!m_mainWnd || !m_pMenu) return;
    m_mainWnd->PostMessage(WM_KICKIDLE, 0, 0);
    for (QAction* a : m_pMenu->actions()) {
        if (a->data().toInt() == ID_TOGGLE_WINDOW) m_pMenu->setDefaultAction(a);
    }
    if (QWidget* w = m_mainWnd->Window()) w->activateWindow();
    m_pMenu->exec(pt);
    m_mainWnd->PostMessage(WM_NULL, 0, 0);
}

void CVMTrayIcon::OnBalloonClick(UINT, QPoint) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_mainWnd) m_mainWnd->PostMessage(WM_VM_COMBAT_LOG_OFFER, 0, 0);
    QTimer::singleShot(0, [] { QApplication::restoreOverrideCursor(); });
}

}  // namespace vm
