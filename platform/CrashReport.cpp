#include "platform/CrashReport.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 64;

struct sigaction g_previous[kSignalCount];
std::atomic<const char*> g_reportPath{nullptr};

// Report paths handed to the handler are never freed: a crash may be reading one while
// another thread sets a new path.
std::mutex& PathLock() {
    static auto* m = new std::mutex;
    return *m;
}
std::vector<std::unique_ptr<char[]>>& KeptPaths() {
    static auto* v = new std::vector<std::unique_ptr<char[]>>;
    return *v;
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "?";
    }
}

// --- async-signal-safe output -------------------------------------------------------------

void Put(int fd, const char* s) {
    size_t len = std::strlen(s);
    while (len > 0) {
        ssize_t n = ::write(fd, s, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        s += n;
        len -= static_cast<size_t>(n);
    }
}

// Decimal into buf (at least 24 bytes); returns buf.
char* FormatDec(char* buf, long long v) {
    char tmp[24];
    int i = 0;
    unsigned long long u =
        v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        tmp[i++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    int o = 0;
    if (v < 0) buf[o++] = '-';
    while (i) buf[o++] = tmp[--i];
    buf[o] = '\0';
    return buf;
}

void PutDec(int fd, long long v) {
    char buf[24];
    Put(fd, FormatDec(buf, v));
}

void PutHex(int fd, std::uintptr_t v) {
    char buf[2 + 2 * sizeof v + 1];
    buf[0] = '0';
    buf[1] = 'x';
    for (size_t i = 0; i < 2 * sizeof v; ++i)
        buf[2 + i] = "0123456789abcdef"[(v >> (4 * (2 * sizeof v - 1 - i))) & 0xf];
    buf[sizeof buf - 1] = '\0';
    Put(fd, buf);
}

void WriteReport(const char* path, int sig, const siginfo_t* info) {
    const long tid = ::syscall(SYS_gettid);
    // Sibling name per thread, so two crashing threads never write into one file.
    char tmp[4096];
    char digits[24];
    FormatDec(digits, tid);
    const size_t plen = std::strlen(path);
    const char suffix[] = ".tmp.";
    if (plen + sizeof suffix + std::strlen(digits) >= sizeof tmp) return;
    std::memcpy(tmp, path, plen);
    std::memcpy(tmp + plen, suffix, sizeof suffix - 1);
    std::memcpy(tmp + plen + sizeof suffix - 1, digits, std::strlen(digits) + 1);

    int fd = ::open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    Put(fd, "Velmora-TVRN crash report\nsignal: ");
    PutDec(fd, sig);
    Put(fd, " (");
    Put(fd, SignalName(sig));
    Put(fd, ")\ncode: ");
    PutDec(fd, info ? info->si_code : 0);
    Put(fd, "\naddress: ");
    PutHex(fd, info ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0);
    Put(fd, "\nprocess: ");
    PutDec(fd, ::getpid());
    Put(fd, "\nthread: ");
    PutDec(fd, tid);
    Put(fd, "\nbacktrace:\n");
    void* frames[kMaxFrames];
    int n = ::backtrace(frames, kMaxFrames);
    ::backtrace_symbols_fd(frames, n, fd);
    ::fsync(fd);
    ::close(fd);
    if (::rename(tmp, path) != 0) ::unlink(tmp);
}

void OnFatalSignal(int sig, siginfo_t* info, void* /*context*/) {
    const int savedErrno = errno;
    if (const char* path = g_reportPath.load()) WriteReport(path, sig, info);

    // Hand the crash on: back to the previous disposition, then let it happen again.
    int idx = 0;
    while (idx < kSignalCount && kSignals[idx] != sig) ++idx;
    if (idx < kSignalCount) ::sigaction(sig, &g_previous[idx], nullptr);
    errno = savedErrno;
    // A fault raised by the kernel comes back by itself when the instruction runs again;
    // a sent signal (abort, kill) has to be sent again. It stays pending until we return.
    const bool fromKernel = info && info->si_code > 0 && sig != SIGABRT;
    if (!fromKernel) ::raise(sig);
}

// The calling thread's alternate signal stack; removed when the thread ends.
class AltStack {
  public:
    AltStack() {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
            return;  // someone (a sanitizer) already gave this thread one
        m_memory = std::make_unique<char[]>(kAltStackSize);
        stack_t ss{};
        ss.ss_sp = m_memory.get();
        ss.ss_size = kAltStackSize;
        if (::sigaltstack(&ss, nullptr) != 0) m_memory.reset();
    }
    ~AltStack() {
        if (!m_memory) return;
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == m_memory.get()) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            ::sigaltstack(&off, nullptr);
        }
    }
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

  private:
    std::unique_ptr<char[]> m_memory;
};

}  // namespace

void CrashReport::SetReportPath(const std::filesystem::path& path) {
    const std::string& text = path.native();
    std::lock_guard<std::mutex> g(PathLock());
    if (const char* cur = g_reportPath.load(); cur && text == cur) return;
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    g_reportPath.store(copy.get());
    KeptPaths().push_back(std::move(copy));
}

void CrashReport::Install() {
    thread_local AltStack altStack;
    static std::once_flag once;
    std::call_once(once, [] {
        // backtrace() loads its unwinder on first use, which allocates; do that now rather
        // than inside the handler.
        void* warm[1];
        ::backtrace(warm, 1);
        for (int i = 0; i < kSignalCount; ++i) {
            struct sigaction sa {};
            sa.sa_sigaction = OnFatalSignal;
            sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&sa.sa_mask);
            ::sigaction(kSignals[i], &sa, &g_previous[i]);
        }
    });
}

}  // namespace platform
