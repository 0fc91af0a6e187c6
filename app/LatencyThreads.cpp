#include "app/CCheckConfigThread.h"
#include "app/CPingThread.h"
#include "app/CServerQueryThread.h"
#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "platform/Latency.h"

namespace vm {

namespace {
constexpr char kOfficialServers[] = "官方服务器";
}

int CServerQueryThread::RunTask() {
    const int ms = platform::MeasureConnectMs(m_host, m_port);
    PostTo(m_pMainWnd, WM_VM_MIRROR_LATENCY, static_cast<std::uintptr_t>(m_index), ms);
    return 0;
}

int CPingThread::RunTask() {
    m_record.latency = platform::MeasureConnectMs(
        m_record.host, static_cast<std::uint16_t>(m_record.port & 0xFFFF));
    SendTo(m_pMainWnd, WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&m_record), 0);
    return 0;
}

std::vector<GameServerRecord> BuildGameServerList(const std::vector<std::string>& setNames,
                                                  const std::string& gameHost) {
    GameServerRecord tmpl;
    tmpl.displayName = kOfficialServers;
    tmpl.host = gameHost;
    tmpl.port = 80;
    tmpl.latency = -1;
    std::vector<GameServerRecord> list;
    for (const auto& name : setNames) {
        // Always matched against the fixed name: matching against the template after it took
        // the first set's name would drop every later official set.
        if (name.find(kOfficialServers) == std::string::npos) continue;
        tmpl.displayName = name;
        list.push_back(tmpl);
    }
    return list;
}

int CCheckConfigThread::RunTask() {
    CVelmoraApp& app = theApp();
    auto list = BuildGameServerList(app.PublishedState().sets.Get(), app.Services().gameHost.Get());
    WriteRealmsFile((app.Locations().cacheDir / "Velmora.realms").string(), list);
    SendTo(m_pMainWnd, WM_VM_REALMS_READY, 0, 0);
    return 0;
}

}  // namespace vm
