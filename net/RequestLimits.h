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

    // What a mirror may send. Every mirror request must keep up at least the floor speed,
    // measured over windows of the grace period (connecting included), and ends at a deadline
    // of the grace period plus the time its expected size takes at the floor speed; the
    // expected size is the announced length, else the cap of what is fetched.
    long mirrorGraceMs = 30000;
    long mirrorFloorBytesPerSecond = 1024;
    std::uint64_t checksumCap = 64u << 10;    // "checksum.txt", held in memory
    std::uint64_t infoArchiveCap = 2u << 20;  // "Info.z", held in memory; also "Info" itself
    // "filelist.xml.z" on disk, and "filelist.xml": the whole list is parsed in memory.
    std::uint64_t fileListCap = 8u << 20;
    std::uint64_t fileCap = 512ull << 20;          // one add-on file (or archive) on disk
    std::uint64_t settingsArchiveCap = 64u << 20;  // the settings archive of the settings sync
    // The archives the update run holds in memory ahead of the file it writes, all together;
    // an archive that does not fit goes on arriving into a file instead.
    std::uint64_t lookAheadBytes = 32u << 20;
    // Connections the shared session keeps open to one host at once; the update run fetches
    // over as many in parallel. Eight, as the common download tools ask of one mirror: on a
    // 50 ms round trip they keep small files arriving about as fast as the run installs them.
    int connectionsPerHost = 8;
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

// Gives a GET to a mirror its floor speed and its size-bound deadline (see RequestLimits);
// cap is the most the answer may bring (it becomes the request's body cap too).
struct HttpRequest;
void ApplyMirrorLimits(HttpRequest& request, std::uint64_t cap);

// The deadline of a request that sends bodyBytes: the base plus time for the body on a slow
// line.
long DeadlineWithBody(long baseMs, std::uint64_t bodyBytes);

}  // namespace vm
