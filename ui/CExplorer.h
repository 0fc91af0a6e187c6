#pragma once

// The embedded news page: a web view with scripts, plugins, scroll bars and its context menu
// off, images on. Links the reader clicks open in the desktop's browser. It reports every
// finished load with its address and whether it succeeded; the main window decides what that
// means. A child of the main window; UI thread only.

#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>

class QWebEngineView;

class QWidget;

namespace vm {

class CExplorer {
  public:
    using LoadHandler = std::function<void(const QUrl& url, bool ok)>;

    CExplorer() = default;
    ~CExplorer();
    CExplorer(const CExplorer&) = delete;
    CExplorer& operator=(const CExplorer&) = delete;

    // Creates the view inside parent at the given client rectangle.
    void Create(QWidget* parent, int x, int y, int cx, int cy);
    void SetLoadHandler(LoadHandler handler) { m_onLoad = std::move(handler); }
    void Navigate(const QUrl& url);
    // Repaints the view (after a window that covered it went away).
    void RedrawWindow();
    QWebEngineView* View() const;

  private:
    QPointer<QWidget> m_view;  // the QWebEngineView, owned by its parent widget
    LoadHandler m_onLoad;
    QMetaObject::Connection m_loadConnection;
};

// Qt WebEngine refuses to run as root with its sandbox; call before the QApplication exists.
void PrepareWebEngine();

}  // namespace vm
