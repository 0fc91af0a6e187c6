#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace vm::updater {

// What the updater knows of the process it was started for.
enum class ProcessKind {
    Gone,     // not running (or only a zombie)
    Program,  // the program folder's Velmora-TVRN
    Other,    // something else, such as the `velmora` command that handed over
};

ProcessKind InspectProcess(pid_t pid, const std::filesystem::path& program);

// Waits until pid is gone, checking every 50 ms; false when it still runs after timeout.
bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout);

// Asks the program to end (SIGTERM) and waits grace; then SIGKILL and a short wait. false
// when it would not end.
bool EndProgram(pid_t pid, std::chrono::milliseconds grace);

// Puts fresh in place of program with one rename, with program's mode bits (0755 when there
// is none yet). The old file stays as backup until Commit or is put back by Restore. On
// failure program is left as it was and error says why.
class ProgramSwap {
  public:
    ProgramSwap(std::filesystem::path program, std::filesystem::path fresh);
    bool Swap(std::string& error);
    void Commit();   // the new program runs: drop the backup
    bool Restore();  // put the old program back

  private:
    std::filesystem::path m_program;
    std::filesystem::path m_fresh;
    std::filesystem::path m_backup;
    bool m_hasBackup = false;
};

}  // namespace vm::updater
