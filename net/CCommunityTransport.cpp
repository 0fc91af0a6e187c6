#include "net/CCommunityTransport.h"

#include <cstring>

#include "net/CConnectionException.h"
#include "net/CCookieStore.h"
#include "net/CPartFile.h"
#include "net/Multipart.h"
#include "net/RequestLimits.h"
#include "platform/FileUtil.h"

namespace vm {
namespace {

constexpr char kAppAgent[] = "Velmora-TVRN";
constexpr std::size_t kPiece = 512;

// The community server answers with XML; anything before the declaration is noise.
std::string FromXmlDeclaration(std::string text) {
    const auto xml = text.find("<?xml");
    if (xml != std::string::npos && xml > 0) text.erase(0, xml);
    return text;
}

}  // namespace

CCommunityTransport::CCommunityTransport(std::string host)
    : m_host(std::move(host)), m_handle(MakeCurlHandle()), m_rawBuffer(kRawBufferSize) {}

void CCommunityTransport::SetHost(std::string host) {
    std::lock_guard<std::mutex> g(m_hostLock);
    m_host = std::move(host);
}

std::string CCommunityTransport::Host() const {
    std::lock_guard<std::mutex> g(m_hostLock);
    return m_host;
}

void CCommunityTransport::SetReloginHook(ReloginHook hook) {
    std::lock_guard<std::mutex> g(m_hostLock);
    m_hook = std::move(hook);
}

std::string CCommunityTransport::Url(const std::string& path) const {
    return "http://" + Host() + path;
}

void CCommunityTransport::Fail() {
    SetLastError(CConnectionException::kCode);
    throw CConnectionException();
}

HttpResult CCommunityTransport::Run(HttpRequest request) {
    request.userAgent = kAppAgent;
    request.connectTimeoutMs = kConnectTimeoutMs;
    request.idleTimeoutSec = kIdleTimeoutSec;
    AddHeaderIfNew(request.headers, "Cache-Control: no-cache");
    // Automatic cookies: the store's cookies go out and the server's come back into it.
    CCookieStore& store = CCookieStore::Shared();
    const std::string cookies = store.CookiesFor(request.url);
    if (!cookies.empty()) AddHeaderIfNew(request.headers, "Cookie: " + cookies);
    HttpResult result = RunTransfer(m_handle.get(), request);
    store.SetFromTransfer(result.cookiesSet);
    return result;
}

std::string CCommunityTransport::RequestOnce(const std::string& path, const Params& params,
                                             Verb verb) {
    std::lock_guard<std::recursive_mutex> lock(m_requestLock);
    const std::string form = FormEncode(params);
    HttpRequest request;
    if (verb == Verb::Get) {
        request.url = Url(path + form);
    } else {
        request.method = "POST";
        request.url = Url(path);
        request.headers.push_back("Content-Type:   application/x-www-form-urlencoded");
        request.body = form;
    }
    const RequestLimits limits = CurrentRequestLimits();
    request.deadlineMs = DeadlineWithBody(limits.communityDeadlineMs, form.size());
    request.maxBodyBytes = limits.answerCap;
    std::string answer;
    int status = 0;
    request.onHead = [&status](const HttpResponseHead& head) {
        status = head.status;
        return true;
    };
    request.onData = [&](const char* data, std::size_t n) {
        if (status == 200) answer.append(data, n);
        return true;
    };
    HttpResult result = Run(std::move(request));
    if (!result.Ok()) Fail();
    if (result.head.status != 200) return {};
    return FromXmlDeclaration(std::move(answer));
}

std::string CCommunityTransport::Request(const std::string& path, const Params& params, Verb verb) {
    ReloginHook hook;
    {
        std::lock_guard<std::mutex> g(m_hostLock);
        hook = m_hook;
    }
    const bool mayRelogin =
        path.find("login") == std::string::npos && hook.resultCode && hook.relogin;
    std::string answer = RequestOnce(path, params, verb);
    if (mayRelogin && hook.resultCode(answer) == 21) {
        hook.relogin();
        answer = RequestOnce(path, params, verb);
    }
    return answer;
}

CCommunityTransport::RawData CCommunityTransport::FetchRaw(const std::string& url) {
    std::lock_guard<std::recursive_mutex> lock(m_requestLock);
    std::size_t size = 0;
    bool tooLarge = false;
    int status = 0;
    HttpRequest request;
    request.url = url;
    request.deadlineMs = CurrentRequestLimits().communityDeadlineMs;
    request.onHead = [&status](const HttpResponseHead& head) {
        status = head.status;
        return status == 200;
    };
    request.onData = [&](const char* data, std::size_t n) {
        if (n > m_rawBuffer.size() - size) {
            tooLarge = true;  // a picture cut short is worse than none
            return false;
        }
        std::memcpy(m_rawBuffer.data() + size, data, n);
        size += n;
        return true;
    };
    HttpResult result = Run(std::move(request));
    if (result.outcome == HttpResult::Outcome::NetworkError) Fail();
    if (!result.Ok() || tooLarge || status != 200) return {};
    return {m_rawBuffer.data(), size};
}

HttpResponseHead CCommunityTransport::GetHeadWithoutRedirect(const std::string& url) {
    std::lock_guard<std::recursive_mutex> lock(m_requestLock);
    HttpRequest request;
    request.url = url;
    request.followRedirects = false;
    request.deadlineMs = CurrentRequestLimits().communityDeadlineMs;
    // Only the head is wanted: the body is never read, however long it would be.
    std::optional<HttpResponseHead> head;
    request.onHead = [&head](const HttpResponseHead& h) {
        head = h;
        return false;
    };
    HttpResult result = Run(std::move(request));
    if (head) return *head;
    if (!result.Ok()) Fail();
    return result.head;
}

bool CCommunityTransport::UploadMultipart(const std::string& path, const std::string& partFileName,
                                          const std::filesystem::path& file,
                                          ITransferProgress* progress, std::string* answer) {
    std::optional<std::string> bytes = platform::ReadWholeFile(file);
    if (!bytes) {
        if (progress) progress->OnError(ITransferProgress::kFileError);
        return false;
    }
    auto [head, tail] = CommunityMultipartFrame(partFileName);
    const std::string body = head + *bytes + tail;
    bytes.reset();

    std::lock_guard<std::recursive_mutex> lock(m_requestLock);
    std::size_t sent = 0;
    bool cancelled = false;
    HttpRequest request;
    request.method = "POST";
    request.url = Url(path);
    request.headers = {"Cache-Control: no-cache", "Accept: */*",
                       std::string(kCommunityMultipartHeader)};
    request.bodyLength = body.size();
    request.bodyPiece = kPiece;
    const RequestLimits limits = CurrentRequestLimits();
    request.deadlineMs = DeadlineWithBody(limits.communityDeadlineMs, body.size());
    request.maxBodyBytes = limits.answerCap;
    request.bodyReader = [&](char* buffer, std::size_t max) -> std::optional<std::size_t> {
        if (sent == body.size()) return 0;
        if (progress && progress->IsCancelled()) {
            cancelled = true;
            return std::nullopt;
        }
        const std::size_t n = std::min(max, body.size() - sent);
        std::memcpy(buffer, body.data() + sent, n);
        sent += n;
        // Percent of the whole body: never above 100, and an empty file divides by no zero.
        if (progress)
            progress->OnProgress(static_cast<long long>(sent) * 100 /
                                 static_cast<long long>(body.size()));
        return n;
    };
    std::string reply;
    int status = 0;
    request.onHead = [&status](const HttpResponseHead& h) {
        status = h.status;
        return true;
    };
    request.onData = [&reply](const char* data, std::size_t n) {
        reply.append(data, n);
        return true;
    };
    if (progress) progress->OnStart();
    HttpResult result = Run(std::move(request));
    if (cancelled) {
        if (progress) progress->OnCancelled();
        return false;
    }
    if (!result.Ok()) {
        if (progress) progress->OnError(ITransferProgress::kNetworkError);
        return false;
    }
    if (status != 200) {
        // A refused upload is not a success.
        if (progress) progress->OnError(ITransferProgress::kBadStatus);
        return false;
    }
    if (progress) progress->OnComplete();
    if (answer) *answer = FromXmlDeclaration(std::move(reply));
    return true;
}

bool CCommunityTransport::DownloadToFile(const std::string& path, const std::filesystem::path& file,
                                         ITransferProgress* progress) {
    std::lock_guard<std::recursive_mutex> lock(m_requestLock);
    CPartFile out(file);
    std::uint64_t length = 0;
    std::uint64_t done = 0;
    bool badStatus = false;
    bool cancelled = false;
    HttpRequest request;
    request.url = Url(path);
    request.onHead = [&](const HttpResponseHead& head) {
        if (head.status != 200) {
            badStatus = true;
            return false;
        }
        length = head.contentLength.value_or(0);
        if (progress) progress->OnStart();
        return out.Open();
    };
    request.onData = [&](const char* data, std::size_t n) {
        for (std::size_t off = 0; off < n; off += kPiece) {
            const std::size_t piece = std::min(kPiece, n - off);
            if (!out.Write(data + off, piece)) return false;
            done += piece;
            if (progress) {
                progress->OnProgress(length ? static_cast<long long>(done * 100 / length)
                                            : static_cast<long long>(done));
                if (progress->IsCancelled()) {
                    cancelled = true;
                    return false;
                }
            }
        }
        return true;
    };
    HttpResult result = Run(std::move(request));
    if (result.Ok() && !badStatus && !out.Error() && out.Commit()) {
        if (progress) progress->OnComplete();
        return true;
    }
    const bool fileError = out.Error() != 0;
    if (!progress) return false;
    if (badStatus)
        progress->OnError(ITransferProgress::kBadStatus);
    else if (cancelled)
        progress->OnCancelled();
    else if (fileError)
        progress->OnError(ITransferProgress::kFileError);
    else
        progress->OnError(ITransferProgress::kNetworkError);
    return false;
}

}  // namespace vm
