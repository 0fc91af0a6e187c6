#include "net/NetServices.h"

#include "app/CVelmoraApp.h"
#include "net/Statistics.h"
#include "net/endpoints.h"

namespace vm {

void InstallNetServices() {
    CVelmoraApp& app = theApp();
    app.SetStatisticStarter([](int action) { SendStatistic(action); });
    app.m_gameHost.Set(GetEndpoints().gameHost);
    app.m_machineId.Set(ComputeMachineId());
}

}  // namespace vm
