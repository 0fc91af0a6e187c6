#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/MessageTarget.h"
#include "update/ByteBudget.h"

namespace vm {

// How a download reports its progress: not at all, as the run's overall progress
// (WM_VM_TOTAL_PROGRESS, sent) or as the current file's (WM_VM_FILE_PROGRESS, posted). Each
// report carries (percent, 100) and is made only when the percentage changes.
enum class ProgressKind { None = 0, Total = 1, File = 2 };
enum class ShowErrors { No, Yes };

// Why a download failed, for the run's status line.
struct DownloadFailure {
    int httpStatus = 0;      // the HTTP error status, 0 for other failures
    bool cancelled = false;  // g_cancelUpdate stopped it
    bool timedOut = false;   // too slow, or out of the time its size allows
    bool tooLarge = false;   // the body passed its cap
    std::string reason;      // in the program's words
};

// Resume attempts in a row that may bring no new byte before the download gives up.
inline constexpr int kMaxIdleResumes = 5;

// Every download keeps to the mirror limits (net/RequestLimits.h): the floor speed, the
// deadline its size allows, and a cap on the bytes it brings (cap, or 0 for the stated cap of
// one add-on file); a body announced or grown past the cap stops before or where it passes
// it. A download that is too slow or past its deadline is not resumed. g_cancelUpdate stops
// a download within about a second, even while nothing arrives.
//
// GETs url into local through the shared session, with "Cache-Control: no-cache" and, from a
// non-zero offset on, "Range: bytes=OFFSET-". A connection that breaks off is resumed with a
// range request from the bytes received; the partial answer must be a 206 whose
// Content-Range starts there, and is appended. A 200 to a ranged request restarts the file;
// any other answer fails it. After kMaxIdleResumes attempts without a new byte it fails. A
// response without Content-Length is read to its end. g_cancelUpdate is checked after every
// block. An HTTP error status is shown to the user when show is Yes. The file is opened only
// once the answer is known to be good. 0 on success, -1 on failure (failure, when given,
// says why). Runs on the calling (worker) thread; reports go to target.
int Download(const std::string& url, const std::filesystem::path& local, ProgressKind kind,
             std::uint64_t offset, ShowErrors show, const TargetRef& target,
             DownloadFailure* failure = nullptr, std::uint64_t cap = 0);

// The same download into memory, for small answers (at most cap bytes; 0: the answer cap of
// RequestLimits).
int DownloadToMemory(const std::string& url, std::string& body, ProgressKind kind, ShowErrors show,
                     const TargetRef& target, DownloadFailure* failure = nullptr,
                     std::uint64_t cap = 0);

// A body fetched ahead of its use: held in memory while the budget lets it grow, otherwise
// written on to a file. Whoever holds it owns the file and the share of the budget.
struct HeldDownload {
    std::string bytes;                // the body, while it is held in memory
    std::filesystem::path spillFile;  // set once the body went to this file instead
    BudgetShare share;                // what bytes holds of the budget

    bool Spilled() const { return !spillFile.empty(); }
    // Gives back the memory and deletes the file.
    void Release();
};

// The same download into held (for the small archives the mirror packs each file in): in
// memory taken from budget (no limit without one), moving to spillFile once a piece does
// not fit.
int DownloadToMemory(const std::string& url, HeldDownload& held, ByteBudget* budget,
                     const std::filesystem::path& spillFile, ProgressKind kind, ShowErrors show,
                     const TargetRef& target, DownloadFailure* failure = nullptr);

// "bytes START-END/TOTAL": START, or -1 when the text is not of that form.
long long ContentRangeStart(const std::string& contentRange);

}  // namespace vm
