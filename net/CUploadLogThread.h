#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "app/CWorkerThread.h"
#include "app/ManualResetEvent.h"

namespace vm {

// The combat-log dialog's worker. It waits for LogUploadStartEvent, copies each recorded
// piece's lines of "Logs/QelCombatLog.txt" into the piece (the application's list), then
// steps through the upload progress until done or until LogUploadStopEvent is set. It sends
// nothing over the network. Reports only by posting WM_VM_LOG_* to m_pMainWnd (the dialog).
class CUploadLogThread : public CWorkerThread {
  protected:
    int RunTask() override;
};

// Set by the dialog to start the worker, and to stop it while it runs. The worker resets both
// when it starts.
ManualResetEvent& LogUploadStartEvent();
ManualResetEvent& LogUploadStopEvent();

// The combat log's time stamp at the start of a line, "M/D HH:MM:SS.mmm" (month and day
// without leading zeros, as the game writes them), as a number that orders stamps of one year;
// nullopt when the line does not start with one.
std::optional<long long> ParseCombatLogTime(std::string_view line);

// The lines of log that belong between the two stamps: from the first line later than start
// up to (not including) the first line later than end; lines without a stamp are left out.
// Each line comes out with "\n" at its end (a "\r" before it stays).
std::string ExtractCombatLogPiece(std::istream& log, std::string_view startTime,
                                  std::string_view endTime);

}  // namespace vm
