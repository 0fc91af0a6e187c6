#include "net/NetServices.h"

#include "app/CVelmoraApp.h"
#include "net/Statistics.h"
#include "net/endpoints.h"

namespace vm {

void InstallNetServices() {
    CVelmoraApp& app = theApp();
    app.SetStatisticStarter([](int action) { SendStatistic(action); });
    app.Services().gameHost.Set(GetEndpoints().gameHost);
    app.Services().machineId.Set(ComputeMachineId());
}

}  // namespace vm
