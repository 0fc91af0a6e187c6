#pragma once

// The embedded news page: a web view with scripts, plugins, scroll bars and its context menu
// off, images on. Links the reader clicks open in the desktop's browser. It reports every
// finished load with its address and whether it succeeded; the main window decides what that
// means. A child of the main window; UI thread only.
//
// The web engine is heavy (a browser process and its helpers), so nothing of it exists until a
// page is asked for, and then only once the page's server answers a connection: without a
// network the page fails at once and no engine is started. A later navigation tries again.
// The engine itself is a module loaded then (PageView.h).

#include <QPointer>
#include <QRect>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

#include "ui/PageView.h"

class QTimer;

namespace vm {

class CExplorer {
  public:
    using LoadHandler = std::function<void(const QUrl& url, bool ok)>;

    CExplorer();
    ~CExplorer();
    CExplorer(const CExplorer&) = delete;
    CExplorer& operator=(const CExplorer&) = delete;

    // Places the page inside parent at the given client rectangle; the view itself comes with
    // the first navigation that reaches its server.
    void Create(QWidget* parent, int x, int y, int cx, int cy);
    bool IsCreated() const { return !m_parent.isNull(); }
    void SetLoadHandler(LoadHandler handler) { m_onLoad = std::move(handler); }
    void Navigate(const QUrl& url);
    // Repaints the view (after a window that covered it went away).
    void RedrawWindow();
    // The web view once a page has been shown in it, else null.
    QWidget* View() const { return m_view.data(); }
    // The view's address (empty without a view) and whether it is loading.
    QUrl Url() const;
    bool IsLoading() const;
    // A connection test to the page's server is under way.
    bool IsProbing() const { return m_probe != nullptr; }

    // A while after each finished load the memory the engine left behind is given back
    // (ReleaseIdleMemory, IdleMemory.h); this runs that now unless a page is loading, and
    // says whether it ran. Tests put their own trim in its place.
    bool TrimWhenIdle();
    void SetTrimmer(std::function<void()> trim) { m_trim = std::move(trim); }

  private:
    void Probe(const QUrl& url);
    void EndProbe(bool reached);
    bool MakeView();
    IPageView* Page() const { return m_view ? m_page : nullptr; }

    QPointer<QWidget> m_parent;
    QRect m_place;
    QPointer<QWidget> m_view;     // the web view, owned by its parent widget
    IPageView* m_page = nullptr;  // the same object, valid while m_view is
    QUrl m_wanted;                // the last address asked for
    struct ProbeState;
    std::shared_ptr<ProbeState> m_probe;  // the connection test under way
    LoadHandler m_onLoad;
    std::unique_ptr<QTimer> m_trimTimer;
    std::function<void()> m_trim;
};

// Sets the web engine's process model and switches before the QApplication exists (the user's
// own QTWEBENGINE_CHROMIUM_FLAGS win); also lifts the sandbox when running as root, which
// Qt WebEngine refuses otherwise.
void PrepareWebEngine();

// The switches PrepareWebEngine gives the engine when the user set none.
const char* WebEngineSwitches();

}  // namespace vm
