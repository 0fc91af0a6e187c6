#include "net/RequestLimits.h"

#include <mutex>

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

long DeadlineWithBody(long baseMs, std::uint64_t bodyBytes) {
    const long rate = CurrentRequestLimits().uploadBytesPerSecond;
    if (rate <= 0) return baseMs;
    return baseMs + static_cast<long>(bodyBytes * 1000 / static_cast<std::uint64_t>(rate));
}

}  // namespace vm
