#pragma once

// Where the service fakes hang their answers: the tests' TestServer (which records requests
// and plays faults) and the development server's RouteServer both offer it.

#include <httplib.h>

#include <functional>
#include <string>

namespace vm::dev {

class HttpRoutes {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Handlers find a multipart request's own Content-Type under this header (the library's
    // parser is kept off such bodies).
    static constexpr char kRealContentType[] = "X-Vm-Real-Content-Type";

    virtual ~HttpRoutes() = default;

    // Answers method ("GET" or "POST") requests for exactly this path.
    virtual void On(const std::string& method, const std::string& path, Handler handler) = 0;
    // "http://127.0.0.1:port" + pathAndQuery.
    virtual std::string Url(const std::string& pathAndQuery) const = 0;
};

}  // namespace vm::dev
