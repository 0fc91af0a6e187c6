#pragma once

#include <QImage>
#include <QRect>

namespace vm {

// What a window with see-through parts can count on from the desktop it runs on.
enum class DesktopKind {
    Compositing,  // translucent windows show what lies behind them (Wayland, X11 with a
                  // compositing manager)
    PlainX11,     // X11 without a compositor: the screen can be captured instead
    Other,        // no screen to see through or capture (offscreen, VNC-like platforms)
};

// Asks the window system once per call; UI thread only, after the QGuiApplication exists.
DesktopKind CurrentDesktop();

// The screen contents in `area` (global coordinates); a null image when the platform gives
// none (Wayland forbids it).
QImage CaptureScreenArea(const QRect& area);

}  // namespace vm
