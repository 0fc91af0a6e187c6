#include "ui/CExplorer.h"

#include <malloc.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cstdlib>

namespace vm {

namespace {

// A server that has not answered by then is as good as absent; the commit gate has its own
// fallback, so the page never holds an update up longer.
constexpr int kProbeTimeoutMs = 15000;

constexpr int kTrimDelayMs = 3000;

// One page of news: one renderer for it, no GPU process, nothing kept on disk.
constexpr char kSwitches[] =
    "--disable-gpu --renderer-process-limit=1 --process-per-site --enable-low-end-device-mode"
    " --disable-background-networking --disable-features=SpareRendererForSitePerProcess";

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

// A proxy the engine would use stands between us and the server: no direct test then.
bool ProxyConfigured() {
    for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(v);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

const char* WebEngineSwitches() {
    return kSwitches;
}

void PrepareWebEngine() {
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kSwitches);
    // The engine draws in software and showing its picture needs no OpenGL either; without
    // this, merely linking the engine makes Qt load a GL driver (and its compiler, tens of MB)
    // at start, page or no page. The user's own choices win.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}

CExplorer::CExplorer() = default;

CExplorer::~CExplorer() {
    // The view may outlive us until its window is deleted; it must not call back meanwhile.
    m_onLoad = nullptr;
    EndProbe(false);
    if (m_view) {
        QObject::disconnect(m_loadConnection);
        View()->stop();
    }
}

QWebEngineView* CExplorer::View() const {
    return static_cast<QWebEngineView*>(m_view.data());
}

void CExplorer::Create(QWidget* parent, int x, int y, int cx, int cy) {
    m_parent = parent;
    m_place = QRect(x, y, cx, cy);
}

void CExplorer::MakeView() {
    auto* view = new QWebEngineView(m_parent);
    m_view = view;
    auto* page = new ExplorerPage(PageProfile(), view);
    view->setPage(page);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    s->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setGeometry(m_place);
    m_loadConnection =
        QObject::connect(view, &QWebEngineView::loadFinished, view, [this, view](bool ok) {
            // Starting the engine leaves much freed memory in the heap; the window stays open
            // all day, so give it back once the page is up.
            QTimer::singleShot(kTrimDelayMs, [] { ::malloc_trim(0); });
            if (m_onLoad) m_onLoad(view->url(), ok);
        });
    view->show();
}

void CExplorer::Navigate(const QUrl& url) {
    if (!m_parent) return;
    m_wanted = url;
    if (QWebEngineView* view = View()) {
        view->setUrl(url);
        return;
    }
    if (m_probe) return;  // the answer navigates to the latest address
    const bool remote = url.scheme() == "http" || url.scheme() == "https";
    if (!remote || ProxyConfigured()) {
        MakeView();
        View()->setUrl(url);
        return;
    }
    Probe(url);
}

void CExplorer::Probe(const QUrl& url) {
    m_probe = new QTcpSocket();
    m_probe->setProxy(QNetworkProxy::NoProxy);
    m_probeTimer = new QTimer();
    m_probeTimer->setSingleShot(true);
    QObject::connect(m_probe, &QTcpSocket::connected, m_probe, [this] { EndProbe(true); });
    QObject::connect(m_probe, &QTcpSocket::errorOccurred, m_probe,
                     [this](QAbstractSocket::SocketError) { EndProbe(false); });
    QObject::connect(m_probeTimer, &QTimer::timeout, m_probeTimer, [this] { EndProbe(false); });
    m_probeTimer->start(kProbeTimeoutMs);
    m_probe->connectToHost(url.host(),
                           static_cast<quint16>(url.port(url.scheme() == "https" ? 443 : 80)));
}

void CExplorer::EndProbe(bool reached) {
    if (!m_probe) return;
    // Called from the socket's own signals: let the loop delete it.
    m_probe->disconnect();
    m_probe->abort();
    m_probe->deleteLater();
    m_probe = nullptr;
    m_probeTimer->disconnect();
    m_probeTimer->deleteLater();
    m_probeTimer = nullptr;
    if (!m_parent) return;
    if (reached) {
        MakeView();
        View()->setUrl(m_wanted);
    } else if (m_onLoad) {
        m_onLoad(m_wanted, false);
    }
}

void CExplorer::RedrawWindow() {
    if (m_view) m_view->update();
}

}  // namespace vm
