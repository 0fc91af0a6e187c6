#include "net/CUploadLogThread.h"

#include <chrono>
#include <fstream>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/messages.h"

namespace vm {
namespace {

constexpr std::size_t kBufferStep = 16384;

// Reads 1..maxDigits digits at pos into value.
bool Digits(std::string_view s, std::size_t& pos, int minDigits, int maxDigits, int& value) {
    value = 0;
    int n = 0;
    while (pos < s.size() && n < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos++] - '0');
        ++n;
    }
    return n >= minDigits;
}

bool Expect(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

ManualResetEvent& LogUploadStartEvent() {
    static auto* event = new ManualResetEvent;
    return *event;
}

ManualResetEvent& LogUploadStopEvent() {
    static auto* event = new ManualResetEvent;
    return *event;
}

std::optional<long long> ParseCombatLogTime(std::string_view line) {
    std::size_t p = 0;
    int month, day, hour, minute, second, milli;
    if (!Digits(line, p, 1, 2, month) || !Expect(line, p, '/') || !Digits(line, p, 1, 2, day) ||
        !Expect(line, p, ' ') || !Digits(line, p, 1, 2, hour) || !Expect(line, p, ':') ||
        !Digits(line, p, 2, 2, minute) || !Expect(line, p, ':') || !Digits(line, p, 2, 2, second) ||
        !Expect(line, p, '.') || !Digits(line, p, 3, 3, milli))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return ((((month * 32LL + day) * 24 + hour) * 60 + minute) * 60 + second) * 1000 + milli;
}

std::string ExtractCombatLogPiece(std::istream& log, std::string_view startTime,
                                  std::string_view endTime) {
    const std::optional<long long> start = ParseCombatLogTime(startTime);
    const std::optional<long long> end = ParseCombatLogTime(endTime);
    std::string out;
    if (!start || !end) return out;
    bool copying = false;
    for (std::string line; std::getline(log, line);) {
        const std::optional<long long> at = ParseCombatLogTime(line);
        if (!at) continue;
        if (*at > *end) break;
        if (!copying && *at > *start) copying = true;
        if (!copying) continue;
        if (out.size() + line.size() + 1 > out.capacity())
            out.reserve((out.size() + line.size() + 1 + kBufferStep) / kBufferStep * kBufferStep);
        out += line;
        out += '\n';
    }
    return out;
}

int CUploadLogThread::RunTask() {
    LogUploadStartEvent().Wait();
    LogUploadStartEvent().Reset();
    LogUploadStopEvent().Reset();
    PostTo(m_pMainWnd, WM_VM_LOG_STATUS, 0, 0, std::string("准备上传日志……"));

    // The log can be large: read it once per piece, and fill the shared list only at the end
    // so the dialog is never kept waiting for it.
    std::vector<COMBAT_LOG_PIECE> pieces = theApp().CombatLog().pieces.Get();
    const std::string logPath = GameFile("Logs/QelCombatLog.txt");
    for (COMBAT_LOG_PIECE& piece : pieces) {
        std::ifstream log(logPath, std::ios::binary);
        piece.buffer = ExtractCombatLogPiece(log, piece.startTime, piece.endTime);
    }
    theApp().CombatLog().pieces.With([&pieces](std::vector<COMBAT_LOG_PIECE>& shared) {
        for (std::size_t i = 0; i < shared.size() && i < pieces.size(); ++i)
            if (shared[i].startTime == pieces[i].startTime &&
                shared[i].endTime == pieces[i].endTime)
                shared[i].buffer = std::move(pieces[i].buffer);
    });

    PostTo(m_pMainWnd, WM_VM_LOG_STATUS, 0, 0, std::string("上传日志……"));
    for (int i = 0; i < 100; ++i) {
        PostTo(m_pMainWnd, WM_VM_LOG_PROGRESS, static_cast<std::uintptr_t>(i), 99);
        if (LogUploadStopEvent().IsSet()) {
            PostTo(m_pMainWnd, WM_VM_LOG_STOPPED);
            break;
        }
        // Waiting on the stop event lets a cancel take effect at once.
        LogUploadStopEvent().WaitFor(std::chrono::milliseconds(1000));
    }
    PostTo(m_pMainWnd, WM_VM_LOG_FINISHED);
    return 0;
}

}  // namespace vm
