#include "ui/CSysTrayIcon.h"

#include <QCursor>
#include <QSystemTrayIcon>
#include <map>

#include "ui/WindowIds.h"

namespace vm {

namespace {

// One QSystemTrayIcon per record id; its activations come back as the callback message.
class QtTrayShell : public ITrayShell {
  public:
    bool Add(const TrayIconRecord& r) override {
        if (!QSystemTrayIcon::isSystemTrayAvailable() || m_icons.count(r.uID)) return false;
        auto icon = std::make_unique<QSystemTrayIcon>(r.hIcon);
        icon->setToolTip(QString::fromStdString(r.szTip));
        CSysTrayWnd* wnd = r.hWnd;
        const UINT id = r.uID;
        const UINT cb = r.uCallbackMessage;
        QObject::connect(icon.get(), &QSystemTrayIcon::activated,
                         [wnd, id, cb](QSystemTrayIcon::ActivationReason reason) {
                             if (!wnd) return;
                             // Qt reports whole clicks; the receiver expects press and release.
                             switch (reason) {
                                 case QSystemTrayIcon::Trigger:
                                     wnd->WindowProc(cb, id, WM_LBUTTONDOWN);
                                     wnd->WindowProc(cb, id, WM_LBUTTONUP);
                                     break;
                                 case QSystemTrayIcon::Context:
                                     wnd->WindowProc(cb, id, WM_RBUTTONDOWN);
                                     wnd->WindowProc(cb, id, WM_RBUTTONUP);
                                     break;
                                 case QSystemTrayIcon::DoubleClick:
                                     wnd->WindowProc(cb, id, WM_LBUTTONDBLCLK);
                                     break;
                                 case QSystemTrayIcon::MiddleClick:
                                     wnd->WindowProc(cb, id, WM_MBUTTONDOWN);
                                     wnd->WindowProc(cb, id, WM_MBUTTONUP);
                                     break;
                                 default:
                                     break;
                             }
                         });
        QObject::connect(icon.get(), &QSystemTrayIcon::messageClicked, [wnd, id, cb] {
            if (wnd) wnd->WindowProc(cb, id, CSysTrayWnd::kBalloonClicked);
        });
        icon->show();
        m_icons[r.uID] = std::move(icon);
        return true;
    }
    bool Modify(const TrayIconRecord& r) override {
        auto it = m_icons.find(r.uID);
        if (it == m_icons.end()) return false;
        QSystemTrayIcon& icon = *it->second;
        if (r.uFlags & NIF_ICON) icon.setIcon(r.hIcon);
        if (r.uFlags & NIF_TIP) icon.setToolTip(QString::fromStdString(r.szTip));
        if ((r.uFlags & NIF_INFO) && !r.szInfo.empty()) {
            static const QSystemTrayIcon::MessageIcon kIcons[] = {
                QSystemTrayIcon::NoIcon, QSystemTrayIcon::Information, QSystemTrayIcon::Warning,
                QSystemTrayIcon::Critical};
            icon.showMessage(QString::fromStdString(r.szInfoTitle),
                             QString::fromStdString(r.szInfo), kIcons[r.dwInfoFlags & 3],
                             static_cast<int>(r.uTimeout));
        }
        return true;
    }
    bool Delete(const TrayIconRecord& r) override { return m_icons.erase(r.uID) != 0; }

  private:
    std::map<UINT, std::unique_ptr<QSystemTrayIcon>> m_icons;
};

}  // namespace

std::unique_ptr<ITrayShell> MakeQtTrayShell() {
    return std::make_unique<QtTrayShell>();
}

LRESULT CSysTrayWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kCallbackMessage) return 0;
    const QPoint pt = QCursor::pos();
    const UINT id = static_cast<UINT>(wParam);
    switch (static_cast<UINT>(lParam)) {
        case WM_MOUSEMOVE:
            m_owner.OnMouseMove(id, pt);
            break;
        case WM_LBUTTONDOWN:
            m_owner.OnLButtonDown(id, pt);
            break;
        case WM_LBUTTONUP:
            m_owner.OnLButtonUp(id, pt);
            break;
        case WM_LBUTTONDBLCLK:
            m_owner.OnLButtonDblClk(id, pt);
            break;
        case WM_RBUTTONDOWN:
            m_owner.OnRButtonDown(id, pt);
            break;
        case WM_RBUTTONUP:
            m_owner.OnRButtonUp(id, pt);
            break;
        case WM_RBUTTONDBLCLK:
            m_owner.OnRButtonDblClk(id, pt);
            break;
        case WM_MBUTTONDOWN:
            m_owner.OnMButtonDown(id, pt);
            break;
        case WM_MBUTTONUP:
            m_owner.OnMButtonUp(id, pt);
            break;
        case WM_MBUTTONDBLCLK:
            m_owner.OnMButtonDblClk(id, pt);
            break;
        case kBalloonClicked:
            m_owner.OnBalloonClick(id, pt);
            break;
        default:
            break;
    }
    return 0;
}

CSysTrayIcon::CSysTrayIcon(std::unique_ptr<ITrayShell> shell)
    : m_wnd(*this), m_shell(std::move(shell)) {}

CSysTrayIcon::~CSysTrayIcon() {
    for (const TrayIconRecord& r : m_icons) m_shell->Delete(r);
}

TrayIconRecord* CSysTrayIcon::Lookup(UINT id) {
    for (TrayIconRecord& r : m_icons)
        if (r.uID == id) return &r;
    return nullptr;
}

const TrayIconRecord* CSysTrayIcon::Find(UINT id) const {
    for (const TrayIconRecord& r : m_icons)
        if (r.uID == id) return &r;
    return nullptr;
}

int CSysTrayIcon::AddIcon(const QIcon& icon, UINT id, const std::string& tip) {
    if (Lookup(id) || icon.isNull()) return 0;
    TrayIconRecord r;
    r.hWnd = &m_wnd;
    r.uID = id;
    r.hIcon = icon;
    r.szTip = tip;
    m_icons.push_back(std::move(r));
    return 1;
}

int CSysTrayIcon::ShowIcon(UINT id) {
    TrayIconRecord* r = Lookup(id);
    if (!r) return 0;
    const bool shown = r->uFlags != 0;
    r->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (shown) return m_shell->Modify(*r) ? 1 : 0;
    if (m_shell->Add(*r)) return 1;
    r->uFlags = 0;
    return 0;
}

int CSysTrayIcon::HideIcon(UINT id) {
    TrayIconRecord* r = Lookup(id);
    if (!r) return 0;
    r->uFlags = 0;
    return m_shell->Delete(*r) ? 1 : 0;
}

int CSysTrayIcon::RemoveIcon(UINT id) {
    for (auto it = m_icons.begin(); it != m_icons.end(); ++it) {
        if (it->uID != id) continue;
        const bool done = m_shell->Delete(*it);
        m_icons.erase(it);
        return done ? 1 : 0;
    }
    return 0;
}

int CSysTrayIcon::ShowBalloon(UINT id, const std::string& title, const std::string& text,
                              UINT iconFlags) {
    TrayIconRecord* r = Lookup(id);
    if (!r) return 0;
    r->dwInfoFlags = iconFlags;
    r->uFlags |= NIF_INFO;
    r->uTimeout = 10000;
    r->szInfoTitle = title;
    r->szInfo = text;
    return m_shell->Modify(*r) ? 1 : 0;
}

}  // namespace vm
