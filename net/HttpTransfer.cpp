#include "net/HttpTransfer.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "platform/Text.h"

namespace vm {
namespace {

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

std::string HeaderName(std::string_view line) {
    return platform::AsciiLower(platform::Trim(line.substr(0, line.find(':'))));
}

// State shared with the library's callbacks during one transfer.
struct TransferState {
    CURL* handle = nullptr;
    const HttpRequest* request = nullptr;
    std::vector<std::pair<std::string, std::string>> cookiesSet;
    HttpResponseHead head;
    bool headDelivered = false;
    bool aborted = false;
    bool tooLarge = false;
    std::uint64_t bodyBytes = 0;
    std::uint64_t sent = 0;
    // The floor speed's watch.
    using Clock = std::chrono::steady_clock;
    Clock::time_point started = Clock::now();
    Clock::time_point windowStart = started;
    std::uint64_t windowBytes = 0;
    bool tooSlow = false;
    bool pastSizedDeadline = false;
    long sizedDeadlineMs = 0;

    // false stops the transfer: asked to, too slow, or past the deadline its size allows.
    bool KeepPace(std::uint64_t moved) {
        if (request->shouldStop && request->shouldStop()) {
            aborted = true;
            return false;
        }
        const long floor = request->floorBytesPerSecond;
        const long grace = request->floorGraceMs;
        if (floor <= 0 || grace <= 0) return true;
        const Clock::time_point now = Clock::now();
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        const long long window = duration_cast<milliseconds>(now - windowStart).count();
        if (window >= grace) {
            const std::uint64_t needed =
                static_cast<std::uint64_t>(floor) * static_cast<std::uint64_t>(window) / 1000;
            if (moved - windowBytes < needed) {
                tooSlow = true;
                return false;
            }
            windowStart = now;
            windowBytes = moved;
        }
        const std::uint64_t expected =
            head.contentLength ? *head.contentLength : request->maxBodyBytes;
        if (expected == 0 && !head.contentLength) return true;
        const std::uint64_t allowed =
            static_cast<std::uint64_t>(grace) + expected * 1000 / static_cast<std::uint64_t>(floor);
        sizedDeadlineMs = static_cast<long>(std::min<std::uint64_t>(allowed, 1ull << 40));
        if (static_cast<std::uint64_t>(duration_cast<milliseconds>(now - started).count()) >
            allowed) {
            pastSizedDeadline = true;
            return false;
        }
        return true;
    }

    bool DeliverHead() {
        headDelivered = true;
        if (request->maxBodyBytes && head.contentLength &&
            *head.contentLength > request->maxBodyBytes) {
            tooLarge = true;
            return false;
        }
        if (request->onHead && !request->onHead(head)) aborted = true;
        return !aborted;
    }
};

size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
    auto* st = static_cast<TransferState*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    if (line.size() >= 5 && line.compare(0, 5, "HTTP/") == 0) {
        // A new response starts (a redirect or an interim answer came before it).
        st->head = HttpResponseHead{};
        const auto sp = line.find(' ');
        if (sp != std::string_view::npos)
            st->head.status = std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
        return n;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return n;
    std::string name(platform::Trim(line.substr(0, colon)));
    std::string value(platform::Trim(line.substr(colon + 1)));
    if (!strcasecmp(name.c_str(), "Set-Cookie")) {
        char* url = nullptr;
        curl_easy_getinfo(st->handle, CURLINFO_EFFECTIVE_URL, &url);
        st->cookiesSet.emplace_back(url ? url : st->request->url, value);
    }
    if (!strcasecmp(name.c_str(), "Content-Length")) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(value.c_str(), &end, 10);
        if (end && end != value.c_str() && *end == '\0') st->head.contentLength = v;
    }
    st->head.headers.emplace_back(std::move(name), std::move(value));
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* st = static_cast<TransferState*>(user);
    const size_t n = size * count;
    if (!st->headDelivered && !st->DeliverHead()) return 0;
    if (st->request->maxBodyBytes && st->bodyBytes + n > st->request->maxBodyBytes) {
        st->tooLarge = true;
        return 0;
    }
    if (st->request->onData && !st->request->onData(data, n)) {
        st->aborted = true;
        return 0;
    }
    st->bodyBytes += n;
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* st = static_cast<TransferState*>(user);
    return st->KeepPace(static_cast<std::uint64_t>(dlnow) + static_cast<std::uint64_t>(ulnow)) ? 0
                                                                                               : 1;
}

size_t OnUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* st = static_cast<TransferState*>(user);
    size_t max = size * count;
    if (st->request->bodyPiece) max = std::min(max, st->request->bodyPiece);
    std::optional<size_t> n = st->request->bodyReader(buffer, max);
    if (!n) {
        st->aborted = true;
        return CURL_READFUNC_ABORT;
    }
    return std::min(*n, max);
}

// The transfer library's failures in the program's own words.
std::string TransferErrorText(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "无法解析服务器地址。";
        case CURLE_COULDNT_CONNECT:
            return "无法连接到服务器。";
        case CURLE_OPERATION_TIMEDOUT:
            return "服务器长时间没有回应，已停止等待。";
        case CURLE_PARTIAL_FILE:
            return "服务器的回应不完整，连接已中断。";
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return "接收数据时连接中断。";
        case CURLE_SEND_ERROR:
            return "发送数据时连接中断。";
        case CURLE_TOO_MANY_REDIRECTS:
            return "服务器的重定向次数过多。";
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return "服务器地址无效。";
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            return "服务器的回应无法识别。";
        case CURLE_OUT_OF_MEMORY:
            return "内存不足。";
        default:
            return "网络传输失败（错误代码 " + std::to_string(static_cast<int>(code)) + "）。";
    }
}

std::string Seconds(long ms) {
    return std::to_string((ms + 999) / 1000);
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string HttpResponseHead::Header(std::string_view name) const {
    for (auto& [k, v] : headers)
        if (k.size() == name.size() && !strncasecmp(k.c_str(), name.data(), name.size())) return v;
    return {};
}

std::vector<std::string> HttpResponseHead::All(std::string_view name) const {
    std::vector<std::string> out;
    for (auto& [k, v] : headers)
        if (k.size() == name.size() && !strncasecmp(k.c_str(), name.data(), name.size()))
            out.push_back(v);
    return out;
}

void CurlDeleter::operator()(CURL* handle) const {
    curl_easy_cleanup(handle);
}

CurlHandle MakeCurlHandle() {
    GlobalInit();
    return CurlHandle(curl_easy_init());
}

void AddHeaderIfNew(std::vector<std::string>& headers, std::string line) {
    const std::string name = HeaderName(line);
    for (auto& h : headers)
        if (HeaderName(h) == name) return;
    headers.push_back(std::move(line));
}

HttpResult RunTransfer(CURL* h, const HttpRequest& r) {
    HttpResult result;
    if (!h) {
        result.errorText = TransferErrorText(CURLE_OUT_OF_MEMORY);
        return result;
    }
    curl_easy_reset(h);  // keeps the open connections of the handle
    TransferState st;
    st.handle = h;
    st.request = &r;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Slist headers;
    for (std::string line : r.headers) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;
        curl_slist* next = curl_slist_append(headers.get(), line.c_str());
        if (!next) return result;
        headers.release();
        headers.reset(next);
    }
    // Never wait for a "100 Continue" the old servers do not send.
    if (r.method == "POST") {
        curl_slist* next = curl_slist_append(headers.get(), "Expect:");
        if (next) {
            headers.release();
            headers.reset(next);
        }
    }

    curl_easy_setopt(h, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    if (!r.userAgent.empty()) curl_easy_setopt(h, CURLOPT_USERAGENT, r.userAgent.c_str());
    if (r.direct) curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    long connectMs = r.connectTimeoutMs;
    // A request with a floor speed never waits longer than its grace period for a connection.
    if (r.floorBytesPerSecond > 0 && r.floorGraceMs > 0 &&
        (connectMs <= 0 || connectMs > r.floorGraceMs))
        connectMs = r.floorGraceMs;
    if (connectMs > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    if (r.deadlineMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, r.deadlineMs);
    if (r.idleTimeoutSec > 0) {
        // An idle limit, not a total one: a large file that keeps flowing is never cut off.
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, r.idleTimeoutSec);
    }
    if (r.shouldStop || (r.floorBytesPerSecond > 0 && r.floorGraceMs > 0)) {
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &st);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &st);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &st);
    if (r.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        if (r.bodyReader) {
            curl_easy_setopt(h, CURLOPT_READFUNCTION, &OnUpload);
            curl_easy_setopt(h, CURLOPT_READDATA, &st);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.bodyLength));
        } else {
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, r.body.data());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(r.body.size()));
        }
    } else if (r.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, r.method.c_str());
    }

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK && !st.headDelivered) st.DeliverHead();  // an empty body

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status) st.head.status = static_cast<int>(status);
    // The handle lives on; nothing of this call may stay behind in it.
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);

    result.head = std::move(st.head);
    result.bodyBytes = st.bodyBytes;
    result.cookiesSet = std::move(st.cookiesSet);
    if (st.tooLarge) {
        result.outcome = HttpResult::Outcome::NetworkError;
        result.tooLarge = true;
        result.errorText =
            "服务器的回应超过 " + std::to_string(r.maxBodyBytes / 1024) + " KB，已停止接收。";
    } else if (st.aborted) {
        result.outcome = HttpResult::Outcome::Aborted;
    } else if (st.tooSlow) {
        result.outcome = HttpResult::Outcome::NetworkError;
        result.tooSlow = true;
        result.errorText = "服务器传输过慢（" + Seconds(r.floorGraceMs) + " 秒内平均每秒不足 " +
                           std::to_string(r.floorBytesPerSecond) + " 字节），已停止接收。";
    } else if (st.pastSizedDeadline) {
        result.outcome = HttpResult::Outcome::NetworkError;
        result.pastDeadline = true;
        result.errorText =
            "服务器在 " + Seconds(st.sizedDeadlineMs) + " 秒内没有完成回应，已停止等待。";
    } else if (code == CURLE_OK) {
        result.outcome = HttpResult::Outcome::Ok;
    } else {
        result.outcome = HttpResult::Outcome::NetworkError;
        result.bodyCutShort = code == CURLE_PARTIAL_FILE;
        result.errorText = TransferErrorText(code);
        curl_off_t spentUs = 0;
        curl_easy_getinfo(h, CURLINFO_TOTAL_TIME_T, &spentUs);
        // The idle limit ends with the same code; only the deadline gets its own words.
        if (code == CURLE_OPERATION_TIMEDOUT && r.deadlineMs > 0 &&
            spentUs / 1000 + 100 >= r.deadlineMs) {
            result.pastDeadline = true;
            result.errorText =
                "服务器在 " + Seconds(r.deadlineMs) + " 秒内没有完成回应，已停止等待。";
        }
    }
    return result;
}

}  // namespace vm
