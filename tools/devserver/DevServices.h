#pragma once

#include <memory>
#include <string>

// The account services of the development server: passport, community, statistics and data
// server fakes on one in-process server of their own (127.0.0.1, a free port), with the demo
// account "demo" / "demo". Built only with the tests (they bring the fakes); otherwise there
// are none and EndpointLines is empty. Lives as long as the object.
class DevServices {
  public:
    DevServices();
    ~DevServices();
    DevServices(const DevServices&) = delete;
    DevServices& operator=(const DevServices&) = delete;

    // "[Endpoints]" lines (CRLF-terminated) that point the program at the services.
    std::string EndpointLines() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
