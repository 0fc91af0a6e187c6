#include "ui/CExplorer.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLibrary>
#include <QNetworkProxy>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <cstdlib>

#include "ui/IdleMemory.h"

namespace vm {

namespace {

// A server that has not answered by then is as good as absent; the commit gate has its own
// fallback, so the page never holds an update up longer.
constexpr int kProbeTimeoutMs = 15000;

// The page settles (its pictures in, the renderer idle) well within this after it loaded.
constexpr int kTrimDelayMs = 3000;

// One page of news: one renderer for it, no GPU process, nothing kept on disk. The page never
// needs a helper outside the sandbox, so no second, unsandboxed zygote waits for one.
constexpr char kSwitches[] =
    "--disable-gpu --renderer-process-limit=1 --process-per-site --enable-low-end-device-mode"
    " --disable-background-networking --disable-features=SpareRendererForSitePerProcess"
    " --no-unsandboxed-zygote";

// The engine's module: beside the program or in its modules folder (the package's place,
// outside the linker's folders); a program of this build tree, such as a test, also takes the
// one the tree made. Nothing is loaded from a folder the program was not installed with.
VmCreatePageViewFn PageViewFactory() {
    static const VmCreatePageViewFn factory = []() -> VmCreatePageViewFn {
        const QString here = QCoreApplication::applicationDirPath();
        QStringList dirs{here, here + QStringLiteral("/modules")};
#ifdef VM_BUILD_TREE_DIR
        const QString tree = QStringLiteral(VM_BUILD_TREE_DIR);
        if (here == tree || here.startsWith(tree + '/')) dirs << tree + QStringLiteral("/bin");
#endif
        for (const QString& dir : dirs) {
            QLibrary module(dir + '/' + kVmPageViewModule);
            if (!module.load()) continue;
            // Stays loaded for the program's life: QLibrary unloads only when asked.
            if (auto f =
                    reinterpret_cast<VmCreatePageViewFn>(module.resolve(kVmCreatePageViewSymbol)))
                return f;
        }
        return nullptr;
    }();
    return factory;
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
    // The engine draws in software and showing its picture needs no OpenGL either. It still
    // wants the shared GL context that Qt makes with the application; with no GL integration
    // that context is an empty shell, so no GL driver (and its compiler, tens of MB) is
    // loaded at start, page or no page. The user's own choices win.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

CExplorer::CExplorer() : m_trim(ReleaseIdleMemory) {}

CExplorer::~CExplorer() {
    // The view may outlive us until its window is deleted; it must not call back meanwhile.
    m_onLoad = nullptr;
    EndProbe(false);
    if (IPageView* page = Page()) page->Detach();
}

QUrl CExplorer::Url() const {
    IPageView* page = Page();
    return page ? page->Url() : QUrl();
}

bool CExplorer::IsLoading() const {
    IPageView* page = Page();
    return page && page->IsLoading();
}

void CExplorer::Create(QWidget* parent, int x, int y, int cx, int cy) {
    m_parent = parent;
    m_place = QRect(x, y, cx, cy);
}

bool CExplorer::MakeView() {
    VmCreatePageViewFn create = PageViewFactory();
    if (!create) return false;
    if (!m_trimTimer) {
        m_trimTimer = std::make_unique<QTimer>();
        m_trimTimer->setSingleShot(true);
        QObject::connect(m_trimTimer.get(), &QTimer::timeout, [this] { TrimWhenIdle(); });
    }
    m_page = create(m_parent, m_place, [this](const QUrl& url, bool ok) {
        m_trimTimer->start(kTrimDelayMs);
        if (m_onLoad) m_onLoad(url, ok);
    });
    m_view = m_page->Widget();
    return true;
}

void CExplorer::Navigate(const QUrl& url) {
    if (!m_parent) return;
    m_wanted = url;
    if (IPageView* page = Page()) {
        page->SetUrl(url);
        return;
    }
    if (m_probe) return;  // the answer navigates to the latest address
    const bool remote = url.scheme() == "http" || url.scheme() == "https";
    if (!remote || ProxyConfigured()) {
        EndProbe(true);
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

// Ends the connection test (when one runs) and goes on: to the page when its server was
// reached and the engine could be started, else to a failed load.
void CExplorer::EndProbe(bool reached) {
    if (m_probe) {
        // Called from the socket's own signals: let the loop delete it.
        m_probe->disconnect();
        m_probe->abort();
        m_probe->deleteLater();
        m_probe = nullptr;
        m_probeTimer->disconnect();
        m_probeTimer->deleteLater();
        m_probeTimer = nullptr;
    }
    if (!m_parent) return;
    if (reached && MakeView()) {
        m_page->SetUrl(m_wanted);
        return;
    }
    if (m_onLoad) m_onLoad(m_wanted, false);
}

bool CExplorer::TrimWhenIdle() {
    // A load under way still builds what it needs; its own end brings the next chance.
    if (!Page() || Page()->IsLoading()) return false;
    if (m_trim) m_trim();
    return true;
}

void CExplorer::RedrawWindow() {
    if (m_view) m_view->update();
}

}  // namespace vm
