#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "net/HttpTransfer.h"

namespace vm {

class CHttpSession;

// The kept-open connections to one host and port of the shared session: a request goes over
// one that is idle (the one used last first, so sequential requests share one TCP connection
// while the server keeps it alive), else over a new one. At most
// RequestLimits::connectionsPerHost are open at once; a request beyond them waits for one to
// come free (its shouldStop is asked about once a second while it waits).
class CHttpConnection {
  public:
    CHttpConnection(const CHttpSession& session, std::string host, int port);

    const std::string& Host() const { return m_host; }
    int Port() const { return m_port; }

    // Runs request (its URL must point at this host and port) with the session's agent and
    // time-outs filled in.
    HttpResult Perform(HttpRequest request);

  private:
    const CHttpSession& m_session;
    std::string m_host;
    int m_port;
    std::mutex m_lock;
    std::condition_variable m_freed;
    std::vector<CurlHandle> m_idle;  // the one used last at the back
    std::size_t m_open = 0;          // handles in use or idle
};

}  // namespace vm
