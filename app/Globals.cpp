#include "app/Globals.h"

std::atomic<int> g_cancelUpdate{0};
std::atomic<std::uint8_t> g_updateRunning{0};
vm::ManualResetEvent& g_scanDone = *new vm::ManualResetEvent(false);
vm::ManualResetEvent& g_scanThreadsUp = *new vm::ManualResetEvent(false);
vm::ManualResetEvent& g_infoReady = *new vm::ManualResetEvent(false);
vm::ManualResetEvent& g_shortcutOffered = *new vm::ManualResetEvent(false);
vm::ManualResetEvent& g_gameRunning = *new vm::ManualResetEvent(false);
