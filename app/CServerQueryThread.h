#pragma once

#include <cstdint>
#include <string>

#include "app/CWorkerThread.h"

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

}  // namespace vm
