#pragma once

namespace vm {

// Connects the network layer to the application object: statistics pings for the start-up
// and exit steps and every other SendStatistic caller, the publisher's game host from the
// endpoints, and the machine id. The window program and the command line call it once,
// before CVelmoraApp::Run.
void InstallNetServices();

}  // namespace vm
