#pragma once

// The account services of the development server: the passport, community, statistics and
// data servers on one in-process server of their own (127.0.0.1, a free port), with the demo
// account kDemoUser / kDemoPassword in both the passport and the community. Lives as long as
// the object.
//
//   vm::dev::DevServices services;
//   if (!services.Start()) ...              // no free port
//   endpoints += services.EndpointLines();  // "[Endpoints]" lines pointing at them

#include <functional>
#include <memory>
#include <string>

namespace vm::dev {

class DevServices {
  public:
    static constexpr char kDemoUser[] = "demo";
    static constexpr char kDemoPassword[] = "demo";

    DevServices();
    ~DevServices();
    DevServices(const DevServices&) = delete;
    DevServices& operator=(const DevServices&) = delete;

    // Starts serving; false when no port could be had. logger, when set, hears one
    // "status METHOD path" line per request.
    bool Start(std::function<void(const std::string&)> logger = {});
    // "http://127.0.0.1:port" once started.
    std::string Origin() const;
    // "[Endpoints]" lines (CRLF-terminated) that point the program at the services.
    std::string EndpointLines() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vm::dev
