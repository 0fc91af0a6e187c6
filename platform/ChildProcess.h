#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A program started with posix_spawn. The owner waits for it with Wait; a child that is
// never waited for is left to run on its own (it is reaped by init once this process ends).
// Not thread-safe: one thread starts and waits.
class ChildProcess {
  public:
    // Starts program with args (argv[1..]) in workDir, with no descriptors besides 0-2
    // inherited. A Windows executable (one that starts with "MZ") is run through "wine" when
    // wine is on the PATH. nullopt when nothing could be started; error then holds the
    // reason as errno.
    static std::optional<ChildProcess> Spawn(const std::filesystem::path& program,
                                             const std::vector<std::string>& args,
                                             const std::filesystem::path& workDir,
                                             int* error = nullptr);

    ChildProcess(ChildProcess&& other) noexcept : m_pid(other.m_pid) { other.m_pid = -1; }
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() = default;

    pid_t Pid() const { return m_pid; }

    // Blocks until the program ends. Its exit status, or 128 + the signal that ended it;
    // -1 when it was already waited for.
    int Wait();

  private:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    pid_t m_pid = -1;
};

// true when the file starts with the DOS header signature "MZ".
bool IsWindowsExecutable(const std::filesystem::path& path);

// Full path of an executable found on $PATH; empty when there is none.
std::filesystem::path FindOnPath(const std::string& name);

}  // namespace platform
