#pragma once

#include <string>
#include <vector>

#include "app/CWorkerThread.h"
#include "app/GameServerRecord.h"

namespace vm {

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
