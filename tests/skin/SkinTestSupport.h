#pragma once

// Shared pieces of the skin tests: the application object, a minimal control that records
// its events and paints a solid colour, and a window that hosts a manager.

#include <QApplication>
#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "skin/CDC.h"
#include "skin/CDialogLayoutUI.h"
#include "skin/CUIManager.h"
#include "skin/CWindowWnd.h"

namespace vm::test {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "skin-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // lives until exit
    return *app;
}

// Deletes windows whose deletion was deferred.
inline void FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class TestControl : public CUIControl {
  public:
    explicit TestControl(UINT flags = 0, const char* cls = "TestUI", COLORREF fill = kNoColor)
        : m_flags(flags), m_class(cls), m_fill(fill) {}

    UINT GetControlFlags() const override { return m_flags; }
    const char* GetClass() const override { return m_class; }
    SIZE EstimateSize(SIZE) override { return SIZE{m_pos.Width(), m_pos.Height()}; }
    void DoPaint(CDC& dc, const RECT&) override {
        if (m_fill != kNoColor) dc.FillRect(m_pos, m_fill);
    }
    void Event(UIEvent& event) override {
        events.push_back(event.type);
        lastEvent = event;
        CUIControl::Event(event);
    }
    bool Activate() override {
        if (!CUIControl::Activate()) return false;
        ++activations;
        if (m_manager) m_manager->SendNotify(this, UINotifyCode::Click);
        return true;
    }
    int Count(UIEventType type) const {
        int n = 0;
        for (UIEventType t : events) n += t == type;
        return n;
    }

    std::vector<UIEventType> events;
    UIEvent lastEvent;
    int activations = 0;

  private:
    UINT m_flags;
    const char* m_class;
    COLORREF m_fill;
};

class TestWindow : public CWindowWnd, public INotifyUI {
  public:
    TestWindow() { TestApp(); }
    ~TestWindow() override { manager.RemoveNotifier(this); }

    // Creates a top-level window of the given client size with an empty dialog layout.
    void Open(int cx, int cy, HWND owner = nullptr, std::uint32_t style = WS_POPUP) {
        Create(owner, "test", style, 0, 0, 0, cx, cy);
    }
    // Lays the tree out as the first paint would, and paints it into the back buffer.
    void Paint() { SendMessage(WM_PAINT); }
    QImage Render() {
        QImage image(Window()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        Window()->render(&image);
        return image;
    }

    const char* GetWindowClassName() const override { return "TestWnd"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(msg);
        if (msg == WM_CREATE) {
            manager.Init(Window());
            auto layout = std::make_unique<CDialogLayoutUI>();
            root = layout.get();
            manager.AttachDialog(std::move(layout));
            manager.AddNotifier(this);
            return 0;
        }
        LRESULT result = 0;
        if (manager.MessageHandler(msg, wParam, lParam, result)) return result;
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }
    void Notify(UINotify& n) override { notes.push_back(n); }

    CUIManager manager;
    CDialogLayoutUI* root = nullptr;
    std::vector<UINotify> notes;
    std::vector<UINT> messages;
};

inline COLORREF PixelAt(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return RGB(c.red(), c.green(), c.blue());
}

}  // namespace vm::test
