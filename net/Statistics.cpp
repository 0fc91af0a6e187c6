#include "net/Statistics.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <utility>

#include "app/CrashFrame.h"
#include "net/OneShot.h"
#include "net/endpoints.h"
#include "platform/Md5.h"

namespace vm {
namespace {

class SystemAdapterSource : public IAdapterSource {
  public:
    std::optional<std::vector<Address>> HardwareAddresses() override {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return std::nullopt;
        std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> guard(list, freeifaddrs);
        std::vector<std::pair<int, Address>> found;
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
            if (a->ifa_flags & IFF_LOOPBACK) continue;
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            const std::size_t len = std::min<std::size_t>(ll->sll_halen, sizeof ll->sll_addr);
            found.emplace_back(ll->sll_ifindex, Address(ll->sll_addr, ll->sll_addr + len));
        }
        if (found.empty()) return std::nullopt;
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        std::vector<Address> out;
        for (auto& f : found) out.push_back(std::move(f.second));
        return out;
    }
};

}  // namespace

std::shared_ptr<IAdapterSource> SystemAdapters() {
    return std::make_shared<SystemAdapterSource>();
}

std::string ComputeMachineId(IAdapterSource& adapters) {
    std::optional<std::vector<IAdapterSource::Address>> list = adapters.HardwareAddresses();
    std::string source;
    if (!list || list->empty()) {
        source = "unknown";
    } else {
        for (const auto& address : *list)
            for (std::uint8_t b : address) {
                source += '[';
                source += std::to_string(b);
                source += ']';
            }
    }
    return platform::Md5Hex(source);
}

std::string ComputeMachineId() {
    SystemAdapterSource system;
    return ComputeMachineId(system);
}

std::string ComputeVerify(const std::string& machineId, int action) {
    return platform::Md5Hex(machineId + std::to_string(action) + kStatSalt);
}

int CStatisticThread::InitInstance() {
    return RunInCrashFrame([this] {
        std::shared_ptr<IAdapterSource> adapters = m_adapters ? m_adapters : SystemAdapters();
        const std::string uid = ComputeMachineId(*adapters);
        const std::string verify = ComputeVerify(uid, m_action);
        PassportFireAndForget(StatUrl(m_action, uid, verify));
        return 0;
    });
}

void SendStatistic(int action, std::shared_ptr<IAdapterSource> adapters) {
    auto thread = std::make_unique<CStatisticThread>();
    thread->m_action = action;
    thread->m_adapters = std::move(adapters);
    CWorkerThread::Start(std::move(thread));
}

}  // namespace vm
