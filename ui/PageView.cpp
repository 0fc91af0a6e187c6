// The news page's web view, built as the module velmora-pageview.so (see PageView.h).
#include "ui/PageView.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QPointer>
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

    // Refused navigations whose "failed" end is still to come; the page itself is fine.
    int refused = 0;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeLinkClicked) {
            QDesktopServices::openUrl(url);
            if (isMainFrame) ++refused;
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

// The page keeps nothing: no cookies or cache on disk, a small cache in memory, no spelling.
// Made with the first view and kept for the application's life, so no page outlives it.
QWebEngineProfile* PageProfile() {
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        profile = new QWebEngineProfile(QCoreApplication::instance());  // off the record
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile->setHttpCacheMaximumSize(2 * 1024 * 1024);
        profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        profile->setSpellCheckEnabled(false);
    }
    return profile;
}

class PageView : public QWebEngineView, public IPageView {
  public:
    PageView(QWidget* parent, const QRect& place, LoadHandler onLoad)
        : QWebEngineView(parent), m_onLoad(std::move(onLoad)) {
        auto* page = new ExplorerPage(PageProfile(), this);
        m_page = page;
        setPage(page);
        QWebEngineSettings* s = page->settings();
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
        s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
        s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
        s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
        s->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
        setContextMenuPolicy(Qt::NoContextMenu);
        setGeometry(place);
        connect(this, &QWebEngineView::loadStarted, this, [this] { m_loading = true; });
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            m_loading = false;
            if (!ok && m_page->refused > 0) {
                --m_page->refused;
                return;
            }
            if (m_onLoad) m_onLoad(url(), ok);
        });
        show();
    }

    QWidget* Widget() override { return this; }
    void SetUrl(const QUrl& u) override {
        m_loading = true;
        setUrl(u);
    }
    QUrl Url() const override { return url(); }
    bool IsLoading() const override { return m_loading; }
    void Detach() override {
        m_onLoad = nullptr;
        stop();
    }

  private:
    ExplorerPage* m_page = nullptr;  // a child of this view
    LoadHandler m_onLoad;
    bool m_loading = false;
};

}  // namespace
}  // namespace vm

extern "C" __attribute__((visibility("default"))) vm::IPageView* VmCreatePageView(
    QWidget* parent, const QRect& place, vm::IPageView::LoadHandler onLoad) {
    return new vm::PageView(parent, place, std::move(onLoad));
}
