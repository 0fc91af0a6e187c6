#pragma once

#include <cstdint>
#include <string>

#include "app/CWorkerThread.h"
#include "app/GameServerRecord.h"

namespace vm {

// Connect time to one update mirror, posted as WM_VM_MIRROR_LATENCY to the mirror dialog
// while that dialog still exists.
class CServerQueryThread : public CWorkerThread {
  public:
    int m_index = 0;  // 0 Telecom, 1 Netcom
    std::string m_host;
    std::uint16_t m_port = 80;

  protected:
    int RunTask() override;
};

// Connect time to one game server, sent as WM_VM_PING_RESULT with the record's address.
class CPingThread : public CWorkerThread {
  public:
    GameServerRecord m_record;

  protected:
    int RunTask() override;
};

// Builds the game-server list from the published set names and writes "Velmora.realms"
// beside the executable, then sends WM_VM_REALMS_READY.
class CCheckConfigThread : public CWorkerThread {
  protected:
    int RunTask() override;
};

// The list CCheckConfigThread writes: one record per published set whose name contains
// the official servers' display name.
std::vector<GameServerRecord> BuildGameServerList(const std::vector<std::string>& setNames,
                                                  const std::string& gameHost);

}  // namespace vm
