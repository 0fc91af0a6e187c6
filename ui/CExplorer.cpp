#include "ui/CExplorer.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace vm {

namespace {

// Keeps the view on the news page: what the reader clicks opens in the browser.
class ExplorerPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked) {
            QDesktopServices::openUrl(url);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        // A link with a target: catch its address and hand it to the browser.
        auto* catcher = new ExplorerPage(profile(), this);
        QObject::connect(catcher, &QWebEnginePage::urlChanged, catcher, [catcher](const QUrl& u) {
            QDesktopServices::openUrl(u);
            catcher->deleteLater();
        });
        return catcher;
    }
};

}  // namespace

void PrepareWebEngine() {
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

CExplorer::~CExplorer() {
    // The view may outlive us until its window is deleted; it must not call back meanwhile.
    if (m_view) {
        QObject::disconnect(m_loadConnection);
        View()->stop();
    }
}

QWebEngineView* CExplorer::View() const {
    return static_cast<QWebEngineView*>(m_view.data());
}

void CExplorer::Create(QWidget* parent, int x, int y, int cx, int cy) {
    auto* view = new QWebEngineView(parent);
    m_view = view;
    auto* page = new ExplorerPage(QWebEngineProfile::defaultProfile(), view);
    view->setPage(page);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setGeometry(x, y, cx, cy);
    m_loadConnection =
        QObject::connect(view, &QWebEngineView::loadFinished, view, [this, view](bool ok) {
            if (m_onLoad) m_onLoad(view->url(), ok);
        });
    view->show();
}

void CExplorer::Navigate(const QUrl& url) {
    if (QWebEngineView* view = View()) view->setUrl(url);
}

void CExplorer::RedrawWindow() {
    if (m_view) m_view->update();
}

}  // namespace vm
