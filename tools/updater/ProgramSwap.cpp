#include "tools/updater/ProgramSwap.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>
#include <thread>

#include "platform/FileUtil.h"

namespace vm::updater {
namespace fs = std::filesystem;

namespace {

bool IsZombieOrGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content;
    if (!std::getline(stat, content)) return ::kill(pid, 0) != 0 && errno == ESRCH;
    // "pid (name) S ...": the state follows the last ')'.
    const std::size_t close = content.rfind(')');
    return close != std::string::npos && close + 2 < content.size() &&
           (content[close + 2] == 'Z' || content[close + 2] == 'X');
}

}  // namespace

ProcessKind InspectProcess(pid_t pid, const fs::path& program) {
    if (IsZombieOrGone(pid)) return ProcessKind::Gone;
    struct stat running {
    }, installed{};
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    if (::stat(exe.c_str(), &running) == 0 && ::stat(program.c_str(), &installed) == 0 &&
        running.st_dev == installed.st_dev && running.st_ino == installed.st_ino)
        return ProcessKind::Program;
    return ProcessKind::Other;
}

bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!IsZombieOrGone(pid)) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool EndProgram(pid_t pid, std::chrono::milliseconds grace) {
    if (::kill(pid, SIGTERM) != 0 && errno == ESRCH) return true;
    if (WaitForExit(pid, grace)) return true;
    ::kill(pid, SIGKILL);
    return WaitForExit(pid, std::chrono::seconds(5));
}

ProgramSwap::ProgramSwap(fs::path program, fs::path fresh)
    : m_program(std::move(program)),
      m_fresh(std::move(fresh)),
      m_backup(m_program.string() + ".old") {}

bool ProgramSwap::Swap(std::string& error) {
    mode_t mode = 0755;
    struct stat st {};
    const bool exists = ::stat(m_program.c_str(), &st) == 0;
    if (exists) mode = (st.st_mode & 07777) | S_IXUSR;
    if (::chmod(m_fresh.c_str(), mode) != 0) {
        error = "无法设置新程序的权限：" + platform::ErrnoText(errno);
        return false;
    }
    std::error_code ec;
    fs::remove(m_backup, ec);
    if (exists) {
        if (::link(m_program.c_str(), m_backup.c_str()) != 0) {
            error = "无法保留旧程序：" + platform::ErrnoText(errno);
            return false;
        }
        m_hasBackup = true;
    }
    if (::rename(m_fresh.c_str(), m_program.c_str()) != 0) {
        error = "无法替换程序：" + platform::ErrnoText(errno);
        if (m_hasBackup) fs::remove(m_backup, ec);
        m_hasBackup = false;
        return false;
    }
    return true;
}

void ProgramSwap::Commit() {
    std::error_code ec;
    if (m_hasBackup) fs::remove(m_backup, ec);
    m_hasBackup = false;
}

bool ProgramSwap::Restore() {
    if (!m_hasBackup) return false;
    m_hasBackup = false;
    return ::rename(m_backup.c_str(), m_program.c_str()) == 0;
}

}  // namespace vm::updater
