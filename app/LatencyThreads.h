#pragma once

// The latency and server-list workers, one header each; this header gathers them for older
// includes.

#include "app/CCheckConfigThread.h"
#include "app/CPingThread.h"
#include "app/CServerQueryThread.h"
