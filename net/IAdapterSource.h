#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vm {

// The network adapters' hardware addresses, in the order the system lists them. A seam so
// tests can give a fixed list.
class IAdapterSource {
  public:
    using Address = std::vector<std::uint8_t>;
    virtual ~IAdapterSource() = default;
    // nullopt when the system cannot be asked or reports no adapter.
    virtual std::optional<std::vector<Address>> HardwareAddresses() = 0;
};

// The system's adapters (getifaddrs, link-layer addresses in interface-index order, loopback
// left out).
std::shared_ptr<IAdapterSource> SystemAdapters();

}  // namespace vm
