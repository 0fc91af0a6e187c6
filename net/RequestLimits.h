#pragma once

#include <cstdint>

namespace vm {

// How much an answer held in memory may grow and how long a request may take in all. A
// server that sends without end, or one byte now and then, can then neither grow the process
// nor hold a worker for ever. Read by every request that keeps its answer in memory.
struct RequestLimits {
    std::uint64_t answerCap = 1u << 20;  // one-shot, community, upload and ticket answers
    long oneShotDeadlineMs = 120000;     // a passport-style request (plus time for a POST body)
    long communityDeadlineMs = 60000;    // one community request
    long uploadBytesPerSecond = 16384;   // the slowest line an upload is given time for
};

RequestLimits CurrentRequestLimits();

// Tests shorten the limits for their own lifetime (one at a time, not nested across threads).
class CScopedRequestLimits {
  public:
    explicit CScopedRequestLimits(const RequestLimits& limits);
    ~CScopedRequestLimits();
    CScopedRequestLimits(const CScopedRequestLimits&) = delete;
    CScopedRequestLimits& operator=(const CScopedRequestLimits&) = delete;

  private:
    RequestLimits m_saved;
};

// The deadline of a request that sends bodyBytes: the base plus time for the body on a slow
// line.
long DeadlineWithBody(long baseMs, std::uint64_t bodyBytes);

}  // namespace vm
