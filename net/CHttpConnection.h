#pragma once

#include <mutex>
#include <string>

#include "net/HttpTransfer.h"

namespace vm {

class CHttpSession;

// One kept-open connection to a host and port of the shared session: sequential requests
// through it reuse the same TCP connection while the server keeps it alive. Requests on one
// connection are serialised; a request made while another thread is using it goes over a
// connection of its own instead of waiting.
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
    std::mutex m_busy;
    CurlHandle m_handle;
};

}  // namespace vm
