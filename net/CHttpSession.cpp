#include "net/CHttpSession.h"

#include <algorithm>
#include <chrono>

#include "net/RequestLimits.h"
#include "platform/Text.h"

namespace vm {

namespace {
// The shared and community sessions announce the application's name.
constexpr char kAppAgent[] = "Velmora-TVRN";
}  // namespace

CHttpConnection::CHttpConnection(const CHttpSession& session, std::string host, int port)
    : m_session(session), m_host(std::move(host)), m_port(port) {}

HttpResult CHttpConnection::Perform(HttpRequest request) {
    m_session.Prepare(request);
    CurlHandle handle;
    {
        std::unique_lock<std::mutex> l(m_lock);
        for (;;) {
            if (!m_idle.empty()) {
                handle = std::move(m_idle.back());
                m_idle.pop_back();
                break;
            }
            const std::size_t cap =
                static_cast<std::size_t>(std::max(1, CurrentRequestLimits().connectionsPerHost));
            if (m_open < cap) {
                ++m_open;
                break;
            }
            // Every connection is busy: wait for one, but a stopped request stops waiting.
            if (request.shouldStop) {
                l.unlock();
                const bool stop = request.shouldStop();
                l.lock();
                if (stop) {
                    HttpResult stopped;
                    stopped.outcome = HttpResult::Outcome::Aborted;
                    return stopped;
                }
            }
            m_freed.wait_for(l, std::chrono::seconds(1));
        }
    }
    if (!handle) handle = MakeCurlHandle();
    HttpResult result = RunTransfer(handle.get(), request);
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (handle)
            m_idle.push_back(std::move(handle));
        else
            --m_open;
    }
    m_freed.notify_one();
    return result;
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
