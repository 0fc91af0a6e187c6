#pragma once

// In-process HTTP server for network tests, on 127.0.0.1 with a random port.
//
//   vm::test::TestServer server;             // starts listening at once
//   server.ServeFolder("/mirror", dir);      // files under dir; Range gives 206 + the part
//   server.On("GET", "/stat.php", [](const httplib::Request& q, httplib::Response& r) {
//       r.set_content("ok", "text/plain"); });
//   server.SetFault("/big.bin", Fault::DropAfter(1000));
//   ... run the code under test against server.Url("/mirror/a.txt") or server.Origin() ...
//   auto reqs = server.Requests();          // everything received, in order
//
// Routes are matched on the path without the query: first a fault for that exact path, then
// a handler (exact path, registered with On), then served folders (longest prefix first).
// Anything else is 404. Fault kinds:
//   Status(n)          answer n with a short text body;
//   DropAfter(n)       announce the whole body (or range), send n bytes of it, close;
//   Slow(delay)        send the body in 512-byte pieces, waiting delay before each;
//   WrongLength(n)     announce n bytes as Content-Length but send the real body, then close;
//   Held(gate)         announce the body, then send it only once gate is set (30 s at most);
//   Endless()          status 200 and a chunked body that never ends (until the client goes);
//   Trickle(delay)     status 200 and a chunked body of one byte per delay, never ending.
// A fault applies to the body the route would have given (file or handler answer); with
// `times` set it applies to that many requests only, later ones are answered normally.
//
// Every request is recorded (method, path with query, headers, body, client port; a new
// client port means a new TCP connection). Keep-alive stays on for up to 100 requests per
// connection and 1 s of idleness (stopping waits that long for an idle client). A handler
// that leaves res.status unset gets the library's Range handling too. Thread-safe: handlers run on
// the server's threads; the accessors may be called from any thread. The destructor stops the
// server and joins its thread.

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ManualResetEvent.h"
#include "tools/devservices/HttpRoutes.h"

namespace vm::test {

struct RecordedRequest {
    std::string method;
    std::string target;  // path with query, as sent
    std::string path;    // without the query
    httplib::Headers headers;
    std::string body;
    int clientPort = 0;

    // First value of a header, empty when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const { return headers.count(name) != 0; }
    // Query parameter (already decoded), empty when absent.
    std::string Param(const std::string& name) const;
    std::multimap<std::string, std::string> params;
};

struct Fault {
    enum class Kind { Status, DropAfter, Slow, WrongLength, Held, Endless, Trickle };
    Kind kind = Kind::Status;
    int status = 500;
    std::size_t bytes = 0;
    std::chrono::milliseconds delay{0};
    int times = -1;  // -1: every request
    std::shared_ptr<ManualResetEvent> gate = nullptr;

    static Fault Status(int code) { return {Kind::Status, code}; }
    static Fault DropAfter(std::size_t n) { return {Kind::DropAfter, 200, n}; }
    static Fault Slow(std::chrono::milliseconds d) { return {Kind::Slow, 200, 0, d}; }
    static Fault WrongLength(std::size_t n) { return {Kind::WrongLength, 200, n}; }
    static Fault Held(std::shared_ptr<ManualResetEvent> gate) {
        Fault f{Kind::Held, 200};
        f.gate = std::move(gate);
        return f;
    }
    static Fault Endless() { return {Kind::Endless, 200}; }
    static Fault Trickle(std::chrono::milliseconds d) { return {Kind::Trickle, 200, 0, d}; }
    Fault Times(int n) const {
        Fault f = *this;
        f.times = n;
        return f;
    }
};

// Handler and kRealContentType come from HttpRoutes, the seam the service fakes use.
class TestServer : public dev::HttpRoutes {
  public:
    TestServer();
    ~TestServer() override;
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return m_port; }
    // "127.0.0.1:port", as the endpoints that take a host name expect it.
    std::string HostPort() const;
    // "http://127.0.0.1:port".
    std::string Origin() const;
    // Origin + path_and_query.
    std::string Url(const std::string& pathAndQuery) const override;

    // Serves the files under dir at urlPrefix ("/" or "/mirror").
    void ServeFolder(const std::string& urlPrefix, const std::filesystem::path& dir);
    // Answers method ("GET" or "POST") requests for exactly this path.
    void On(const std::string& method, const std::string& path, Handler handler) override;
    // Fixed answer for a path (a shorthand for On).
    void Reply(const std::string& path, std::string body, int status = 200,
               const std::string& contentType = "text/plain");
    void SetFault(const std::string& path, Fault fault);
    void ClearFault(const std::string& path);

    std::vector<RecordedRequest> Requests() const;
    // Requests whose path equals path.
    std::vector<RecordedRequest> RequestsTo(const std::string& path) const;
    void ClearRequests();
    // Number of different TCP connections seen so far.
    std::size_t ConnectionCount() const;

  private:
    void Dispatch(const httplib::Request& req, httplib::Response& res);
    bool Produce(const httplib::Request& req, httplib::Response& res);
    std::optional<Fault> TakeFault(const std::string& path);
    static void ApplyFault(const Fault& fault, httplib::Response& res);

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
    std::map<std::string, std::map<std::string, Handler>> m_handlers;  // method -> path
    std::map<std::string, std::filesystem::path, std::greater<>> m_folders;
    std::map<std::string, Fault> m_faults;
};

}  // namespace vm::test
