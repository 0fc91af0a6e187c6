#pragma once

#include "app/CWorkerThread.h"
#include "app/GameServerRecord.h"

namespace vm {

// Connect time to one game server, sent as WM_VM_PING_RESULT with the record's address.
class CPingThread : public CWorkerThread {
  public:
    GameServerRecord m_record;

  protected:
    int RunTask() override;
};

}  // namespace vm
