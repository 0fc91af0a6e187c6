#include "net/CHttpSession.h"

#include "platform/Text.h"

namespace vm {

namespace {
// The shared and community sessions announce the application's name.
constexpr char kAppAgent[] = "Velmora-TVRN";
}  // namespace

CHttpConnection::CHttpConnection(const CHttpSession& session, std::string host, int port)
    : m_session(session), m_host(std::move(host)), m_port(port), m_handle(MakeCurlHandle()) {}

HttpResult CHttpConnection::Perform(HttpRequest request) {
    m_session.Prepare(request);
    std::unique_lock<std::mutex> lock(m_busy, std::try_to_lock);
    if (lock.owns_lock()) return RunTransfer(m_handle.get(), request);
    CurlHandle own = MakeCurlHandle();
    return RunTransfer(own.get(), request);
}

std::shared_ptr<CHttpConnection> CHttpSession::Connection(const std::string& host, int port) {
    std::lock_guard<std::mutex> g(m_lock);
    auto key = std::make_pair(platform::AsciiLower(host), port);
    auto& slot = m_connections[key];
    if (!slot) slot = std::make_shared<CHttpConnection>(*this, host, port);
    return slot;
}

void CHttpSession::SetTimeouts(Timeouts t) {
    std::lock_guard<std::mutex> g(m_lock);
    m_timeouts = t;
}

CHttpSession::Timeouts CHttpSession::GetTimeouts() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_timeouts;
}

void CHttpSession::Prepare(HttpRequest& request) const {
    const Timeouts t = GetTimeouts();
    request.userAgent = kAppAgent;
    request.connectTimeoutMs = t.connectMs;
    request.idleTimeoutSec = t.idleSec;
    request.direct = false;  // the proxy variables apply
    AddHeaderIfNew(request.headers, "Cache-Control: no-cache");
}

CHttpSession& GetSharedSession() {
    // Never destroyed: workers may still download while the process exits.
    static CHttpSession* session = new CHttpSession;
    return *session;
}

std::shared_ptr<CHttpConnection> GetHttpConnection(const std::string& host, int port) {
    return GetSharedSession().Connection(host, port);
}

}  // namespace vm
