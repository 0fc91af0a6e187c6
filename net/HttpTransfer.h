#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

typedef void CURL;

namespace vm {

// The status line and headers of the final response of a request (after redirects).
struct HttpResponseHead {
    int status = 0;
    std::optional<std::uint64_t> contentLength;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order

    // First value of the header (case-insensitive name), empty when absent.
    std::string Header(std::string_view name) const;
    // Every value of the header, in order (Set-Cookie comes several times).
    std::vector<std::string> All(std::string_view name) const;
};

// One HTTP request as the three request styles send it.
struct HttpRequest {
    std::string method = "GET";  // GET or POST
    std::string url;
    std::vector<std::string> headers;  // "Name: value" lines (a trailing CRLF is dropped)
    std::string_view body;             // POST body sent as one block
    // Streamed POST body instead: fills up to max bytes and returns the count, 0 at the
    // end, nullopt to abort the request.
    std::function<std::optional<std::size_t>(char* buffer, std::size_t max)> bodyReader;
    std::uint64_t bodyLength = 0;  // announced length of the streamed body
    std::size_t bodyPiece = 0;     // at most this much per bodyReader call (0: no limit)
    bool followRedirects = true;
    bool direct = false;  // ignore the proxy variables
    std::string userAgent;
    long connectTimeoutMs = 0;  // 0: the library's default
    long idleTimeoutSec = 0;    // abort when nothing moves for this long; 0: never
    // Overall deadline of the whole request (a trickling server cannot hold a worker for
    // ever); 0: none, for transfers whose length is the user's own business (files).
    long deadlineMs = 0;
    // An answer body longer than this stops the transfer; 0: no cap.
    std::uint64_t maxBodyBytes = 0;
    // A floor speed: from the start on, every window of floorGraceMs must move at least
    // floorBytesPerSecond on average (connecting and waiting for the answer count), and the
    // whole request ends floorGraceMs plus the time its expected size (the announced length,
    // else maxBodyBytes) takes at that speed after it began. 0: none.
    long floorBytesPerSecond = 0;
    long floorGraceMs = 0;
    // Asked about once a second, even while nothing arrives; true stops the request at once
    // (an Aborted outcome).
    std::function<bool()> shouldStop;
    // Called once the final response's head is known (before its body); false aborts.
    std::function<bool(const HttpResponseHead&)> onHead;
    // Called with each piece of the body; false aborts.
    std::function<bool(const char* data, std::size_t size)> onData;
};

struct HttpResult {
    enum class Outcome {
        Ok,            // the whole response arrived
        NetworkError,  // connect, send or receive failed (also a body cut short)
        Aborted,       // a callback of the request asked to stop
    };
    Outcome outcome = Outcome::NetworkError;
    HttpResponseHead head;
    std::uint64_t bodyBytes = 0;
    bool bodyCutShort = false;  // the connection ended before Content-Length bytes came
    bool tooLarge = false;      // the body passed maxBodyBytes (a network error)
    bool pastDeadline = false;  // deadlineMs or the size-bound deadline ran out (network error)
    bool tooSlow = false;       // below the floor speed for a whole window (a network error)
    std::string errorText;      // why a network error happened, in the program's words
    // Every Set-Cookie value of every response on the way (redirects included), with the URL
    // that answered it, for the cookie store.
    std::vector<std::pair<std::string, std::string>> cookiesSet;

    bool Ok() const { return outcome == Outcome::Ok; }
};

struct CurlDeleter {
    void operator()(CURL* handle) const;
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// A fresh easy handle (the library is initialised on first use).
CurlHandle MakeCurlHandle();

// Runs request on handle, which keeps its open connection for the next request. Not
// thread-safe per handle: the owner of the handle serialises calls.
HttpResult RunTransfer(CURL* handle, const HttpRequest& request);

// Adds a header line unless one of the same name is there already.
void AddHeaderIfNew(std::vector<std::string>& headers, std::string line);

}  // namespace vm
