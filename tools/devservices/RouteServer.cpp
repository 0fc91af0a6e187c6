#include "tools/devservices/RouteServer.h"

#include <chrono>

#include "platform/Text.h"

namespace vm::dev {

RouteServer::RouteServer() {
    m_server.set_payload_max_length(64u << 20);
    // Stopping waits this long for an idle client that keeps its connection open.
    m_server.set_keep_alive_timeout(1);
    // The library would parse a multipart body into its parts and keep it from the handlers,
    // which read the form themselves: renaming the type before routing keeps its hands off.
    m_server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& headers = const_cast<httplib::Headers&>(req.headers);
        auto it = headers.find("Content-Type");
        if (it != headers.end() && platform::AsciiLower(it->second).rfind("multipart/", 0) == 0) {
            headers.emplace(kRealContentType, it->second);
            headers.erase(it);
            headers.emplace("Content-Type", "application/octet-stream");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(req, res);
    };
    m_server.Get(".*", dispatch);
    m_server.Post(".*", dispatch);
}

RouteServer::~RouteServer() {
    Stop();
}

bool RouteServer::Start() {
    if (m_thread.joinable()) return true;
    const int port = m_server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return false;
    m_port = port;
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // Stop only ends a loop that has begun; the socket already takes connections meanwhile.
    for (int i = 0; i < 5000 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void RouteServer::Stop() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string RouteServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string RouteServer::Origin() const {
    return "http://" + HostPort();
}

std::string RouteServer::Url(const std::string& pathAndQuery) const {
    return Origin() + pathAndQuery;
}

void RouteServer::On(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_handlers[method][path] = std::move(handler);
}

void RouteServer::SetLogger(std::function<void(const std::string&)> logger) {
    m_server.set_logger(
        [logger = std::move(logger)](const httplib::Request& req, const httplib::Response& res) {
            logger(std::to_string(res.status) + " " + req.method + " " + req.path);
        });
}

void RouteServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        auto byMethod = m_handlers.find(req.method == "HEAD" ? "GET" : req.method);
        if (byMethod != m_handlers.end()) {
            auto it = byMethod->second.find(req.path);
            if (it != byMethod->second.end()) handler = it->second;
        }
    }
    if (!handler) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    handler(req, res);
}

}  // namespace vm::dev
