#include "ui/DesktopBackdrop.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <string>

namespace vm {

namespace {

// A compositing manager owns the selection _NET_WM_CM_Sn of the screen it manages.
bool X11CompositorRunning() {
#if QT_CONFIG(xcb)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        const std::string d(display);
        const auto dot = d.rfind('.');
        if (dot != std::string::npos && d.find(':') < dot) screen = std::atoi(d.c_str() + dot + 1);
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom) return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE) return false;  // nobody ever claimed it
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!owner) return false;
    const bool running = owner->owner != XCB_NONE;
    std::free(owner);
    return running;
#else
    return false;
#endif
}

}  // namespace

DesktopKind CurrentDesktop() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith("wayland")) return DesktopKind::Compositing;
    if (platform == "xcb")
        return X11CompositorRunning() ? DesktopKind::Compositing : DesktopKind::PlainX11;
    if (platform == "windows" || platform == "cocoa") return DesktopKind::Compositing;
    return DesktopKind::Other;
}

QImage CaptureScreenArea(const QRect& area) {
    if (QGuiApplication::platformName().startsWith("wayland")) return {};
    QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QPoint origin = screen->geometry().topLeft();
    const QPixmap shot = screen->grabWindow(0, area.x() - origin.x(), area.y() - origin.y(),
                                            area.width(), area.height());
    if (shot.isNull()) return {};
    // Drawn as it comes: converting it first would only cost the splash its first frame.
    return shot.toImage();
}

}  // namespace vm
