#include "update/Download.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>
#include <thread>

#include "app/Globals.h"
#include "app/messages.h"
#include "net/HttpFetch.h"
#include "net/NetMessages.h"
#include "net/RequestLimits.h"
#include "platform/FileUtil.h"
#include "platform/UniqueFd.h"

namespace vm {
namespace {

class Reporter {
  public:
    Reporter(ProgressKind kind, const TargetRef& target) : m_kind(kind), m_target(target) {}
    void Report(std::uint64_t done, std::uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 0;
        if (m_kind == ProgressKind::None || percent == m_last) return;
        m_last = percent;
        if (m_kind == ProgressKind::Total)
            SendTo(m_target, WM_VM_TOTAL_PROGRESS, static_cast<std::uintptr_t>(percent), 100);
        else
            PostTo(m_target, WM_VM_FILE_PROGRESS, static_cast<std::uintptr_t>(percent), 100);
    }

  private:
    ProgressKind m_kind;
    const TargetRef& m_target;
    int m_last = -1;
};

// Where the body goes: a file (opened once the answer is known to be good) or memory.
class Sink {
  public:
    virtual ~Sink() = default;
    // Keeps the first size bytes (0 empties it) and continues after them.
    virtual bool Open(std::uint64_t size) = 0;
    virtual bool Write(const char* p, std::size_t n) = 0;
    virtual bool Close() = 0;
    virtual int Error() const = 0;
};

class OutFile : public Sink {
  public:
    explicit OutFile(const std::filesystem::path& path) : m_path(path) {}
    ~OutFile() override { Close(); }
    // Truncates to size (0 creates or empties it) and positions at the end.
    bool Open(std::uint64_t size) override {
        Close();
        // A file started afresh gets a new inode: the old one may be an installed file's
        // second name and must never be rewritten in place.
        if (size == 0) ::unlink(m_path.c_str());
        m_fd.Reset(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (!m_fd.Valid()) return Fail();
        if (::ftruncate(m_fd.Get(), static_cast<off_t>(size)) != 0) return Fail();
        if (::lseek(m_fd.Get(), 0, SEEK_END) < 0) return Fail();
        return true;
    }
    bool Write(const char* p, std::size_t n) override {
        return platform::WriteAll(m_fd.Get(), p, n) || Fail();
    }
    bool Close() override {
        if (m_fd.Close()) return true;
        m_error = errno;
        return false;
    }
    int Error() const override { return m_error; }

  private:
    bool Fail() {
        m_error = errno ? errno : EIO;
        return false;
    }
    std::filesystem::path m_path;
    platform::UniqueFd m_fd;
    int m_error = 0;
};

// Memory while the budget allows, then the spill file (what was held moves there first).
class HeldSink : public Sink {
  public:
    HeldSink(HeldDownload& held, ByteBudget* budget, const std::filesystem::path& spill)
        : m_held(held), m_spill(spill), m_file(spill) {
        m_held.Release();
        m_held.share = BudgetShare(budget);
    }
    bool Open(std::uint64_t size) override {
        if (m_toFile) return m_file.Open(size);
        m_held.bytes.resize(std::min<std::uint64_t>(size, m_held.bytes.size()));
        m_held.share.Clear();
        if (m_held.share.Grow(m_held.bytes.size())) return true;
        return Spill();
    }
    bool Write(const char* p, std::size_t n) override {
        if (!m_toFile) {
            if (m_held.share.Grow(n)) {
                m_held.bytes.append(p, n);
                return true;
            }
            if (!Spill()) return false;
        }
        return m_file.Write(p, n);
    }
    bool Close() override { return !m_toFile || m_file.Close(); }
    int Error() const override { return m_file.Error() ? m_file.Error() : EIO; }

  private:
    bool Spill() {
        m_toFile = true;
        m_held.spillFile = m_spill;
        const bool ok = m_file.Open(0) && m_file.Write(m_held.bytes.data(), m_held.bytes.size());
        std::string().swap(m_held.bytes);
        m_held.share.Clear();
        return ok;
    }

    HeldDownload& m_held;
    std::filesystem::path m_spill;
    OutFile m_file;
    bool m_toFile = false;
};

enum class Stop { None, HttpError, BadAnswer, FileError, Cancelled, TooLarge };

// "512 MB", or "256 KB" for a cap that is no whole number of megabytes.
std::string SizeText(std::uint64_t bytes) {
    if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    return std::to_string((bytes + 1023) >> 10) + " KB";
}

}  // namespace

long long ContentRangeStart(const std::string& value) {
    std::size_t i = value.find_first_not_of(' ');
    if (i == std::string::npos || value.compare(i, 6, "bytes ") != 0) return -1;
    i = value.find_first_not_of(' ', i + 6);
    if (i == std::string::npos) return -1;
    char* end = nullptr;
    const char* start = value.c_str() + i;
    if (*start < '0' || *start > '9') return -1;
    errno = 0;
    const unsigned long long v = std::strtoull(start, &end, 10);
    if (errno || *end != '-' || v > static_cast<unsigned long long>(LLONG_MAX)) return -1;
    return static_cast<long long>(v);
}

namespace {

int DownloadInto(Sink& out, const std::string& url, ProgressKind kind, std::uint64_t offset,
                 ShowErrors show, const TargetRef& target, DownloadFailure* failure,
                 std::uint64_t cap) {
    DownloadFailure local_failure;
    DownloadFailure& why = failure ? *failure : local_failure;
    why = {};
    Reporter reporter(kind, target);
    std::uint64_t done = offset;
    int idleAttempts = 0;
    const RequestLimits limits = CurrentRequestLimits();
    if (cap == 0) cap = limits.fileCap;
    // Resumes share one deadline: a mirror that breaks off after every few bytes cannot hold
    // the run longer than one slow transfer of the whole file would.
    const auto began = std::chrono::steady_clock::now();
    std::optional<std::uint64_t> whole;
    auto pastOverallDeadline = [&] {
        const std::uint64_t expected = whole.value_or(cap);
        const std::uint64_t allowedMs =
            static_cast<std::uint64_t>(limits.mirrorGraceMs) +
            expected * 1000 /
                static_cast<std::uint64_t>(std::max(1L, limits.mirrorFloorBytesPerSecond));
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - began);
        return static_cast<std::uint64_t>(spent.count()) > allowedMs;
    };

    for (int attempt = 0;; ++attempt) {
        const std::uint64_t startDone = done;
        std::optional<std::uint64_t> total;
        bool opened = false;
        Stop stop = Stop::None;
        int status = 0;

        HttpRequest request;
        request.url = url;
        if (done > 0) request.headers.push_back("Range: bytes=" + std::to_string(done) + "-");
        AddHeaderIfNew(request.headers, "Cache-Control: no-cache");
        ApplyMirrorLimits(request, done < cap ? cap - done : 1);
        request.shouldStop = [] { return g_cancelUpdate.load() != 0; };
        request.onHead = [&](const HttpResponseHead& head) {
            status = head.status;
            if (IsHttpError(head.status)) {
                stop = Stop::HttpError;
                return false;
            }
            if (done > 0 && head.status == 206) {
                if (ContentRangeStart(head.Header("Content-Range")) !=
                    static_cast<long long>(done)) {
                    stop = Stop::BadAnswer;
                    return false;
                }
            } else if (head.status == 206) {
                stop = Stop::BadAnswer;  // a part nobody asked for
                return false;
            } else if (done > 0) {
                if (head.status != 200) {
                    stop = Stop::BadAnswer;
                    return false;
                }
                done = 0;  // the server ignored the range: the whole file comes again
            }
            if (head.contentLength) total = done + *head.contentLength;
            if (total && !whole) whole = total;
            if (total && *total > cap) {
                stop = Stop::TooLarge;
                return false;
            }
            if (!out.Open(done)) {
                stop = Stop::FileError;
                return false;
            }
            opened = true;
            reporter.Report(done, total.value_or(0));
            return true;
        };
        request.onData = [&](const char* data, std::size_t n) {
            if (!out.Write(data, n)) {
                stop = Stop::FileError;
                return false;
            }
            done += n;
            if (total) reporter.Report(done, *total);
            if (g_cancelUpdate.load()) {
                stop = Stop::Cancelled;
                return false;
            }
            return true;
        };

        HttpResult result = SharedSessionRequest(std::move(request));
        if (!out.Close() && stop == Stop::None && opened) stop = Stop::FileError;
        if (status == 0) status = result.head.status;
        if (stop == Stop::None && !opened && IsHttpError(status)) stop = Stop::HttpError;
        if (stop == Stop::None && result.tooLarge) stop = Stop::TooLarge;
        if (stop == Stop::None && g_cancelUpdate.load()) stop = Stop::Cancelled;

        switch (stop) {
            case Stop::HttpError:
                why.httpStatus = status;
                why.reason = "HTTP错误代码(" + std::to_string(status) + ")";
                if (show == ShowErrors::Yes) ShowNetMessage(HttpErrorText(status));
                return -1;
            case Stop::BadAnswer:
                why.reason = "服务器对续传请求的回应无效（" + std::to_string(status) + "）";
                return -1;
            case Stop::FileError:
                why.reason = platform::ErrnoText(out.Error() ? out.Error() : EIO);
                return -1;
            case Stop::Cancelled:
                why.cancelled = true;
                why.reason = "已取消";
                return -1;
            case Stop::TooLarge:
                why.tooLarge = true;
                why.reason = "服务器发送的内容超过 " + SizeText(cap) + " 的上限，已停止下载";
                return -1;
            case Stop::None:
                break;
        }
        if (result.Ok()) {
            if (!opened) {
                // An empty answer: the callbacks saw no body.
                if (!out.Open(0) || !out.Close()) {
                    why.reason = platform::ErrnoText(out.Error() ? out.Error() : EIO);
                    return -1;
                }
            }
            if (!total || *total == 0) reporter.Report(total ? 0 : 100, 100);
            return 0;
        }
        // Too slow or out of time: another attempt would only wait as long again.
        if (result.tooSlow || result.pastDeadline) {
            why.timedOut = true;
            why.reason = result.errorText;
            return -1;
        }
        // The connection broke off. Before any answer came the mirror is simply not there;
        // later, resume from what has arrived, but not for ever.
        if (attempt == 0 && status == 0) {
            why.reason = result.errorText.empty() ? "网络连接失败" : result.errorText;
            return -1;
        }
        if (pastOverallDeadline()) {
            why.timedOut = true;
            why.reason = "连接多次中断，下载没有在限定的时间内完成";
            return -1;
        }
        idleAttempts = done > startDone ? 0 : idleAttempts + 1;
        if (idleAttempts >= kMaxIdleResumes) {
            why.reason = "连接多次中断，下载没有进展（" + result.errorText + "）";
            return -1;
        }
        if (g_cancelUpdate.load()) {
            why.cancelled = true;
            why.reason = "已取消";
            return -1;
        }
        if (idleAttempts > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100 * idleAttempts));
    }
}

}  // namespace

int Download(const std::string& url, const std::filesystem::path& local, ProgressKind kind,
             std::uint64_t offset, ShowErrors show, const TargetRef& target,
             DownloadFailure* failure, std::uint64_t cap) {
    DownloadFailure local_failure;
    DownloadFailure& why = failure ? *failure : local_failure;
    int rc = 0;
    {
        OutFile out(local);
        rc = DownloadInto(out, url, kind, offset, show, target, &why, cap);
    }
    // What came up to the cap is of no use and must not stay on disk.
    if (rc != 0 && why.tooLarge) ::unlink(local.c_str());
    return rc;
}

void HeldDownload::Release() {
    std::string().swap(bytes);
    share.Clear();
    if (!spillFile.empty()) ::unlink(spillFile.c_str());
    spillFile.clear();
}

int DownloadToMemory(const std::string& url, std::string& body, ProgressKind kind, ShowErrors show,
                     const TargetRef& target, DownloadFailure* failure, std::uint64_t cap) {
    HeldDownload held;
    int rc = 0;
    {
        HeldSink out(held, nullptr, {});  // no budget: it never spills
        rc = DownloadInto(out, url, kind, 0, show, target, failure,
                          cap ? cap : CurrentRequestLimits().answerCap);
    }
    body = std::move(held.bytes);
    return rc;
}

int DownloadToMemory(const std::string& url, HeldDownload& held, ByteBudget* budget,
                     const std::filesystem::path& spillFile, ProgressKind kind, ShowErrors show,
                     const TargetRef& target, DownloadFailure* failure) {
    HeldSink out(held, budget, spillFile);
    return DownloadInto(out, url, kind, 0, show, target, failure, 0);
}

}  // namespace vm
