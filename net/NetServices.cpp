#include "net/NetServices.h"

#include "app/CVelmoraApp.h"
#include "net/Statistics.h"
#include "net/endpoints.h"

namespace vm {

void InstallNetServices() {
    CVelmoraApp& app = theApp();
    app.SetStatisticStarter([](int action) { SendStatistic(action); });
    app.Services().gameHost.Set(GetEndpoints().gameHost);
    // The machine id is worked out when a run first needs it (it asks the network adapters
    // and loads the hash library): every start would pay for it before its first step.
}

}  // namespace vm
