#include "net/RequestLimits.h"

#include <mutex>

#include "net/HttpTransfer.h"

namespace vm {
namespace {

std::mutex& LimitsLock() {
    static std::mutex m;
    return m;
}

RequestLimits& Limits() {
    static RequestLimits limits;
    return limits;
}

}  // namespace

RequestLimits CurrentRequestLimits() {
    std::lock_guard<std::mutex> g(LimitsLock());
    return Limits();
}

CScopedRequestLimits::CScopedRequestLimits(const RequestLimits& limits) {
    std::lock_guard<std::mutex> g(LimitsLock());
    m_saved = Limits();
    Limits() = limits;
}

CScopedRequestLimits::~CScopedRequestLimits() {
    std::lock_guard<std::mutex> g(LimitsLock());
    Limits() = m_saved;
}

void ApplyMirrorLimits(HttpRequest& request, std::uint64_t cap) {
    const RequestLimits limits = CurrentRequestLimits();
    request.floorBytesPerSecond = limits.mirrorFloorBytesPerSecond;
    request.floorGraceMs = limits.mirrorGraceMs;
    request.maxBodyBytes = cap;
}

long DeadlineWithBody(long baseMs, std::uint64_t bodyBytes) {
    const long rate = CurrentRequestLimits().uploadBytesPerSecond;
    if (rate <= 0) return baseMs;
    return baseMs + static_cast<long>(bodyBytes * 1000 / static_cast<std::uint64_t>(rate));
}

}  // namespace vm
