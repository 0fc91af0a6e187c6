#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "net/CHttpConnection.h"

namespace vm {

// The shared download session: created on first use, held until the process ends. It keeps
// one connection per host and port (two endpoints on one host with different ports never
// share one). Safe from any thread. Connections handed out stay valid for the life of the
// session.
class CHttpSession {
  public:
    struct Timeouts {
        long connectMs = 480000;
        long idleSec = 480;  // sending or receiving may stall this long
    };

    CHttpSession() = default;

    std::shared_ptr<CHttpConnection> Connection(const std::string& host, int port);
    void SetTimeouts(Timeouts t);
    Timeouts GetTimeouts() const;
    // Fills in what every request of this session carries.
    void Prepare(HttpRequest& request) const;

  private:
    mutable std::mutex m_lock;
    Timeouts m_timeouts;
    std::map<std::pair<std::string, int>, std::shared_ptr<CHttpConnection>> m_connections;
};

// The process-wide session and its connection cache. It belongs to the network library
// rather than the application object, which cannot depend on the transfer library.
CHttpSession& GetSharedSession();
std::shared_ptr<CHttpConnection> GetHttpConnection(const std::string& host, int port);

}  // namespace vm
