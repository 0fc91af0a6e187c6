#include "tests/support/TestServer.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/Text.h"

namespace vm::test {
namespace {
constexpr const char* kRealType = TestServer::kRealContentType;
}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

std::string RecordedRequest::Param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

TestServer::TestServer() {
    m_server.set_keep_alive_max_count(100);
    // Short, so that stopping does not wait long for clients that keep connections open.
    m_server.set_keep_alive_timeout(1);
    m_server.set_payload_max_length(64u << 20);
    auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(req, res);
    };
    // Bodies are recorded raw: the library would parse a multipart body into its parts and
    // keep it from the recording (tests compare bodies byte for byte). Renaming the type
    // before routing keeps the library's hands off; Dispatch records the real one.
    m_server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& headers = const_cast<httplib::Headers&>(req.headers);
        auto it = headers.find("Content-Type");
        if (it != headers.end() && platform::AsciiLower(it->second).rfind("multipart/", 0) == 0) {
            headers.emplace(kRealType, it->second);
            headers.erase(it);
            headers.emplace("Content-Type", "application/octet-stream");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_server.Get(".*", dispatch);
    m_server.Post(".*", dispatch);
    m_server.Put(".*", dispatch);
    m_server.Delete(".*", dispatch);
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("test server: cannot bind");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    for (int i = 0; i < 5000 && !m_server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer() {
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string TestServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}
std::string TestServer::Origin() const {
    return "http://" + HostPort();
}
std::string TestServer::Url(const std::string& pathAndQuery) const {
    return Origin() + pathAndQuery;
}

void TestServer::ServeFolder(const std::string& urlPrefix, const std::filesystem::path& dir) {
    std::string prefix = urlPrefix;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    std::lock_guard<std::mutex> g(m_mutex);
    m_folders[prefix] = dir;
}

void TestServer::On(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_handlers[method][path] = std::move(handler);
}

void TestServer::Reply(const std::string& path, std::string body, int status,
                       const std::string& contentType) {
    auto h = [body = std::move(body), status, contentType](const httplib::Request&,
                                                           httplib::Response& res) {
        res.status = status;
        res.set_content(body, contentType);
    };
    On("GET", path, h);
    On("POST", path, h);
}

void TestServer::SetFault(const std::string& path, Fault fault) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_faults[path] = fault;
}

void TestServer::ClearFault(const std::string& path) {
    std::lock_guard<std::mutex> g(m_mutex);
    m_faults.erase(path);
}

std::vector<RecordedRequest> TestServer::Requests() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_requests;
}

std::vector<RecordedRequest> TestServer::RequestsTo(const std::string& path) const {
    std::vector<RecordedRequest> out;
    for (auto& r : Requests())
        if (r.path == path) out.push_back(r);
    return out;
}

void TestServer::ClearRequests() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_requests.clear();
}

std::size_t TestServer::ConnectionCount() const {
    std::vector<int> ports;
    for (auto& r : Requests())
        if (std::find(ports.begin(), ports.end(), r.clientPort) == ports.end())
            ports.push_back(r.clientPort);
    return ports.size();
}

std::optional<Fault> TestServer::TakeFault(const std::string& path) {
    std::lock_guard<std::mutex> g(m_mutex);
    auto it = m_faults.find(path);
    if (it == m_faults.end()) return std::nullopt;
    Fault f = it->second;
    if (it->second.times > 0 && --it->second.times == 0) m_faults.erase(it);
    return f;
}

void TestServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest rec;
    rec.method = req.method;
    rec.target = req.target;
    rec.path = req.path;
    rec.headers = req.headers;
    if (auto real = rec.headers.find(kRealType); real != rec.headers.end()) {
        std::string type = real->second;
        rec.headers.erase(real);
        rec.headers.erase("Content-Type");
        rec.headers.emplace("Content-Type", type);
    }
    rec.body = req.body;
    rec.clientPort = req.remote_port;
    for (auto& [k, v] : req.params) rec.params.emplace(k, v);
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_requests.push_back(std::move(rec));
    }
    std::optional<Fault> fault = TakeFault(req.path);
    if (fault && (fault->kind == Fault::Kind::Endless || fault->kind == Fault::Kind::Trickle)) {
        ApplyFault(*fault, res);  // whatever the route would have answered
        return;
    }
    if (fault && fault->kind == Fault::Kind::Status) {
        res.status = fault->status;
        res.set_content("fault " + std::to_string(fault->status), "text/plain");
        return;
    }
    if (!Produce(req, res)) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    if (fault) ApplyFault(*fault, res);
}

bool TestServer::Produce(const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    std::filesystem::path file;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        auto byMethod = m_handlers.find(req.method == "HEAD" ? "GET" : req.method);
        if (byMethod != m_handlers.end()) {
            auto it = byMethod->second.find(req.path);
            if (it != byMethod->second.end()) handler = it->second;
        }
        if (!handler) {
            for (auto& [prefix, dir] : m_folders) {
                if (req.path.compare(0, prefix.size(), prefix) != 0) continue;
                std::string rest = req.path.substr(prefix.size());
                if (rest.find("..") != std::string::npos) return false;
                file = dir / rest;
                break;
            }
        }
    }
    if (handler) {
        handler(req, res);
        return true;
    }
    if (file.empty() || !std::filesystem::is_regular_file(file)) return false;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    // The status stays unset: the library then answers a Range request with 206 and the
    // requested part (with Content-Range), anything else with 200.
    res.set_content(content.str(), "application/octet-stream");
    return true;
}

void TestServer::ApplyFault(const Fault& fault, httplib::Response& res) {
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    std::string type = res.get_header_value("Content-Type");
    if (type.empty()) type = "application/octet-stream";
    res.set_header("Connection", "close");
    switch (fault.kind) {
        case Fault::Kind::Status:
            break;
        case Fault::Kind::DropAfter: {
            auto sent = std::make_shared<std::size_t>(0);
            const std::size_t limit = fault.bytes;
            res.set_content_provider(
                body->size(), type,
                [body, sent, limit](size_t offset, size_t length, httplib::DataSink& sink) {
                    if (*sent >= limit) return false;
                    size_t n = std::min({length, limit - *sent, body->size() - offset});
                    sink.write(body->data() + offset, n);
                    *sent += n;
                    return *sent < limit || n == length;
                });
            break;
        }
        case Fault::Kind::Slow: {
            const auto delay = fault.delay;
            res.set_content_provider(
                body->size(), type,
                [body, delay](size_t offset, size_t length, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(delay);
                    size_t n = std::min<size_t>(length, 512);
                    return sink.write(body->data() + offset, n);
                });
            break;
        }
        case Fault::Kind::Held: {
            const auto gate = fault.gate;
            res.set_content_provider(
                body->size(), type,
                [body, gate](size_t offset, size_t length, httplib::DataSink& sink) {
                    if (gate) (void)gate->WaitFor(std::chrono::seconds(30));
                    return sink.write(body->data() + offset, length);
                });
            break;
        }
        case Fault::Kind::Endless: {
            res.status = 200;
            auto block = std::make_shared<std::string>(64 * 1024, 'x');
            res.set_chunked_content_provider(type, [block](size_t, httplib::DataSink& sink) {
                return sink.is_writable() && sink.write(block->data(), block->size());
            });
            break;
        }
        case Fault::Kind::Trickle: {
            res.status = 200;
            const auto delay = fault.delay;
            res.set_chunked_content_provider(type, [delay](size_t, httplib::DataSink& sink) {
                // Short naps, so that a stopping server is not held up for long.
                for (auto slept = std::chrono::milliseconds(0); slept < delay;
                     slept += std::chrono::milliseconds(50)) {
                    if (!sink.is_writable()) return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                return sink.is_writable() && sink.write("x", 1);
            });
            break;
        }
        case Fault::Kind::WrongLength: {
            res.set_content_provider(
                fault.bytes, type, [body](size_t, size_t, httplib::DataSink& sink) {
                    sink.write(body->data(), body->size());
                    return false;  // then close: what was announced never matches
                });
            break;
        }
    }
}

}  // namespace vm::test
