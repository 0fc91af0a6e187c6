#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace platform {

namespace {

// Owns the spawn file actions for the length of one posix_spawn call.
class SpawnActions {
  public:
    SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions() {
        if (m_ok) ::posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ok() const { return m_ok; }
    posix_spawn_file_actions_t* get() { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

}  // namespace

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        m_pid = other.m_pid;
        other.m_pid = -1;
    }
    return *this;
}

bool IsWindowsExecutable(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[2] = {};
    ssize_t n = ::read(fd, magic, sizeof magic);
    ::close(fd);
    return n == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

std::filesystem::path FindOnPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    std::string_view paths = env ? env : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const size_t colon = paths.find(':');
        std::string_view dir = paths.substr(0, colon);
        if (dir.empty()) dir = ".";
        std::filesystem::path candidate = std::filesystem::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
        }
        if (colon == std::string_view::npos) break;
        paths.remove_prefix(colon + 1);
    }
    return {};
}

std::optional<ChildProcess> ChildProcess::Spawn(const std::filesystem::path& program,
                                                const std::vector<std::string>& args,
                                                const std::filesystem::path& workDir, int* error) {
    auto fail = [error](int err) -> std::optional<ChildProcess> {
        if (error) *error = err;
        return std::nullopt;
    };

    // The child changes folder before it starts the program: a relative name would then
    // be looked up from the wrong place.
    std::error_code ec;
    const std::filesystem::path target =
        program.is_absolute() ? program : std::filesystem::absolute(program, ec);
    if (ec) return fail(ec.value());

    std::vector<std::string> argv;
    std::filesystem::path exe = target;
    if (IsWindowsExecutable(target)) {
        std::filesystem::path wine = FindOnPath("wine");
        if (wine.empty()) return fail(ENOEXEC);
        exe = wine;
        argv.push_back("wine");
    }
    argv.push_back(target.string());
    argv.insert(argv.end(), args.begin(), args.end());

    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    SpawnActions actions;
    if (!actions.ok()) return fail(ENOMEM);
    if (!workDir.empty()) {
        int rc = ::posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str());
        if (rc != 0) return fail(rc);
    }
    // Nothing of ours (sockets, lock files, the instance lock) leaks into the child.
    int rc = ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    if (rc != 0) return fail(rc);

    pid_t pid = -1;
    rc = ::posix_spawn(&pid, exe.c_str(), actions.get(), nullptr, cargv.data(), environ);
    if (rc != 0) return fail(rc);
    return ChildProcess(pid);
}

int ChildProcess::Wait() {
    if (m_pid <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_pid = -1;
    if (r < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace platform
