#pragma once

#include <chrono>

#include "app/CWorkerThread.h"

namespace vm {

// Starts the game and watches it: writes the particle switch into "Client.ini", starts
// "Tovrin.exe" in the game folder (through wine for a Windows executable), sends statistics
// 1 once it runs and 2 when it has ended, then resets g_gameRunning and reports to the main
// window (WM_VM_STATUS, WM_VM_GAME_ENDED). Started by the main window; runs until the game
// ends.
class CQelThread : public CWorkerThread {
  public:
    // Pause between the game's end and the final messages.
    std::chrono::milliseconds m_endDelay{1000};

  protected:
    int RunTask() override;
};

}  // namespace vm
