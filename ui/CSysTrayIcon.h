#pragma once

// A small manager of notification-area icons. Each icon is a record keyed by its id; the
// shell behind it is the desktop's tray (QSystemTrayIcon) or, in tests, a fake. Mouse and
// balloon callbacks arrive as the eleven virtual operations, which do nothing here.
// UI thread only; the object owns its records and removes every icon when destroyed.

#include <QIcon>
#include <QPoint>
#include <list>
#include <memory>
#include <string>

#include "ui/CSysTrayWnd.h"

namespace vm {

// Flag bits of an icon record (the shell's own values).
constexpr UINT NIF_MESSAGE = 0x1;
constexpr UINT NIF_ICON = 0x2;
constexpr UINT NIF_TIP = 0x4;
constexpr UINT NIF_INFO = 0x10;

struct TrayIconRecord {
    UINT cbSize = 952;
    CSysTrayWnd* hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = CSysTrayWnd::kCallbackMessage;
    QIcon hIcon;
    std::string szTip;
    std::string szInfoTitle;
    std::string szInfo;
    UINT uTimeout = 0;
    UINT dwInfoFlags = 0;
};

// What the shell is asked to do with a record; each answers whether it was done.
class ITrayShell {
  public:
    virtual ~ITrayShell() = default;
    virtual bool Add(const TrayIconRecord& record) = 0;
    virtual bool Modify(const TrayIconRecord& record) = 0;
    virtual bool Delete(const TrayIconRecord& record) = 0;
};

// The desktop's tray. Without one (no tray on the desktop) every request fails.
std::unique_ptr<ITrayShell> MakeQtTrayShell();

class CSysTrayIcon {
  public:
    explicit CSysTrayIcon(std::unique_ptr<ITrayShell> shell = MakeQtTrayShell());
    virtual ~CSysTrayIcon();
    CSysTrayIcon(const CSysTrayIcon&) = delete;
    CSysTrayIcon& operator=(const CSysTrayIcon&) = delete;

    // 0 when the id is taken or the icon is null; nothing is shown yet.
    int AddIcon(const QIcon& icon, UINT id, const std::string& tip);
    // The shell's answer; 0 for an unknown id. A failed first add leaves the record unshown,
    // so the next call tries to add again.
    int ShowIcon(UINT id);
    int HideIcon(UINT id);
    int RemoveIcon(UINT id);
    int ShowBalloon(UINT id, const std::string& title, const std::string& text, UINT iconFlags);

    const TrayIconRecord* Find(UINT id) const;
    CSysTrayWnd& Wnd() { return m_wnd; }

    // Callbacks, with the icon id and the cursor in screen coordinates.
    virtual void OnLButtonDown(UINT id, QPoint pt) {}
    virtual void OnRButtonDown(UINT id, QPoint pt) {}
    virtual void OnMButtonDown(UINT id, QPoint pt) {}
    virtual void OnLButtonUp(UINT id, QPoint pt) {}
    virtual void OnRButtonUp(UINT id, QPoint pt) {}
    virtual void OnMButtonUp(UINT id, QPoint pt) {}
    virtual void OnLButtonDblClk(UINT id, QPoint pt) {}
    virtual void OnRButtonDblClk(UINT id, QPoint pt) {}
    virtual void OnMButtonDblClk(UINT id, QPoint pt) {}
    virtual void OnMouseMove(UINT id, QPoint pt) {}
    virtual void OnBalloonClick(UINT id, QPoint pt) {}

  private:
    TrayIconRecord* Lookup(UINT id);

    CSysTrayWnd m_wnd;
    std::unique_ptr<ITrayShell> m_shell;
    std::list<TrayIconRecord> m_icons;
};

}  // namespace vm
