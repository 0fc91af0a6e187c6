#pragma once

#include <memory>
#include <string>

#include "app/CWorkerThread.h"
#include "net/IAdapterSource.h"

namespace vm {

constexpr char kStatSalt[] = "qzxwvtn.482.plj";

// MD5 text of "[b][b]..." over every byte of every adapter's address, or of "unknown".
std::string ComputeMachineId(IAdapterSource& adapters);
std::string ComputeMachineId();
// MD5 text of machine id, action in decimal and the salt.
std::string ComputeVerify(const std::string& machineId, int action);

// One statistics ping (action 0 start, 1 game started, 2 game ended, 3 exit, 4 heartbeat,
// 5 login). Runs on its own worker; the answer is ignored and every failure is silent.
class CStatisticThread : public CWorkerThread {
  public:
    int m_action = 0;
    std::shared_ptr<IAdapterSource> m_adapters;  // the system's when empty

  protected:
    int InitInstance() override;
};

// Starts a CStatisticThread for action; callers never wait for it.
void SendStatistic(int action, std::shared_ptr<IAdapterSource> adapters = nullptr);

}  // namespace vm
