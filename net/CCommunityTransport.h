#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/HttpTransfer.h"
#include "net/ITransferProgress.h"

namespace vm {

// The community web service's transport: one kept-open connection with a short connect
// limit and automatic cookies, form-encoded requests with XML answers, raw fetches into a
// fixed buffer, multipart uploads and downloads to a file. Owned by the community client.
// Every request holds RequestLock for its network part, so the object may be used from
// several threads; the data a raw fetch returns lives in RawBuffer and is valid only until
// the next raw fetch.
class CCommunityTransport {
  public:
    static constexpr std::size_t kRawBufferSize = 100000;
    static constexpr long kConnectTimeoutMs = 5000;
    static constexpr long kIdleTimeoutSec = 60;

    enum class Verb { Get, Post };
    using Params = std::vector<std::pair<std::string, std::string>>;

    // The re-login rule: resultCode parses an answer's result code; relogin logs in again
    // with the stored credentials. Filled in by the community client.
    struct ReloginHook {
        std::function<int(const std::string& answer)> resultCode;
        std::function<void()> relogin;
    };

    struct RawData {
        const char* data = nullptr;  // null on failure or a status other than 200
        std::size_t size = 0;
    };

    // host: "name" or "name:port".
    explicit CCommunityTransport(std::string host);

    void SetHost(std::string host);
    std::string Host() const;
    int GetLastError() const { return m_lastError.load(); }
    void SetLastError(int code) { m_lastError.store(code); }
    void SetReloginHook(ReloginHook hook);

    std::recursive_mutex& RequestLock() { return m_requestLock; }

    // The answer from its "<?xml" on (whole when there is none); empty for a status other
    // than 200. Throws CConnectionException (last error -2) on a network failure.
    std::string Request(const std::string& path, const Params& params, Verb verb);

    // GET of a full URL into RawBuffer. A body larger than the buffer is not delivered
    // (failure), never written past it. Throws CConnectionException on a network failure.
    RawData FetchRaw(const std::string& url);

    // GET without following redirects (the avatar request): status and headers only.
    // Throws CConnectionException on a network failure.
    HttpResponseHead GetHeadWithoutRedirect(const std::string& url);

    // POST of file as the community multipart layout. When answer is given and the status is
    // 200 the answer body is stored there. false on any failure or cancel.
    bool UploadMultipart(const std::string& path, const std::string& partFileName,
                         const std::filesystem::path& file, ITransferProgress* progress,
                         std::string* answer = nullptr);

    // GET of path into file (written beside it, renamed over it when complete).
    bool DownloadToFile(const std::string& path, const std::filesystem::path& file,
                        ITransferProgress* progress);

  private:
    HttpResult Run(HttpRequest request);
    std::string Url(const std::string& path) const;
    [[noreturn]] void Fail();
    std::string RequestOnce(const std::string& path, const Params& params, Verb verb);

    mutable std::mutex m_hostLock;
    std::string m_host;
    std::atomic<int> m_lastError{0};
    std::recursive_mutex m_requestLock;
    ReloginHook m_hook;
    CurlHandle m_handle;
    std::vector<char> m_rawBuffer;
};

}  // namespace vm
