#include "ui/CExplorer.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/Latency.h"
#include "ui/IdleMemory.h"
#include "ui/QtMessageTarget.h"

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

// Read and written on the UI thread only: the test's helper thread just carries it back.
struct CExplorer::ProbeState {
    bool abandoned = false;
};

// The test runs on a helper thread of its own (a name lookup blocks), without Qt's network
// module: the window need not load it, and the engine's module brings its own.
void CExplorer::Probe(const QUrl& url) {
    auto state = std::make_shared<ProbeState>();
    m_probe = state;
    const std::string host = url.host().toStdString();
    const auto port = static_cast<std::uint16_t>(url.port(url.scheme() == "https" ? 443 : 80));
    // The answer comes back through the message seam: once the application object is gone
    // (the program ends while a test still waits), the post simply finds nobody.
    std::shared_ptr<QtMessageTarget> back = QtMessageTarget::Create(
        QCoreApplication::instance(), [state, this](const Message& m) -> std::intptr_t {
            if (!state->abandoned) EndProbe(m.wParam != 0);
            return 0;
        });
    std::thread([back, host, port] {
        const bool reached = platform::MeasureConnectMs(host, port, kProbeTimeoutMs) >= 0;
        back->Post(WM_USER, reached ? 1 : 0, 0);
    }).detach();
}

void CExplorer::EndProbe(bool reached) {
    if (m_probe) {
        // A test still under way finds nobody to tell.
        m_probe->abandoned = true;
        m_probe.reset();
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
