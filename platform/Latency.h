#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Milliseconds a TCP connect (IPv4) to host:port takes, or -1 when the host does not resolve,
// the connect fails or it takes longer than timeoutMs.
int MeasureConnectMs(const std::string& host, std::uint16_t port, int timeoutMs = 10000);

}  // namespace platform
