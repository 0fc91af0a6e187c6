#pragma once

// HttpRoutes on an in-process server of its own, for the development server: 127.0.0.1 on a
// free port, each request answered by the handler registered for its method and exact path,
// anything else 404. Multipart bodies reach the handlers raw, their type under
// kRealContentType, as they do on the tests' server.
//
//   vm::dev::RouteServer server;
//   vm::dev::PassportFake passport(server);   // routes first,
//   if (!server.Start()) ...                  // then serve
//
// Thread-safe: handlers run on the server's threads. Stop (or the destructor) waits for the
// server's thread; stop it before whatever its handlers use goes away.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "tools/devservices/HttpRoutes.h"

namespace vm::dev {

class RouteServer final : public HttpRoutes {
  public:
    RouteServer();
    ~RouteServer() override;
    RouteServer(const RouteServer&) = delete;
    RouteServer& operator=(const RouteServer&) = delete;

    // Binds a free port and serves on a thread of its own; false when no port could be had.
    bool Start();
    void Stop();
    // 0 until started.
    int Port() const { return m_port; }
    // "127.0.0.1:port", as the endpoints that take a host name expect it.
    std::string HostPort() const;
    // "http://127.0.0.1:port".
    std::string Origin() const;

    void On(const std::string& method, const std::string& path, Handler handler) override;
    std::string Url(const std::string& pathAndQuery) const override;
    // Called with "status METHOD path" after each answer (the query stays out: it can carry a
    // password).
    void SetLogger(std::function<void(const std::string&)> logger);

  private:
    void Dispatch(const httplib::Request& req, httplib::Response& res);

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::map<std::string, std::map<std::string, Handler>> m_handlers;  // method -> path
};

}  // namespace vm::dev
