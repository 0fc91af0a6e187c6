#include "net/OneShot.h"

#include <cstring>
#include <set>

#include "net/CCookieStore.h"
#include "net/HttpTransfer.h"
#include "net/RequestLimits.h"
#include "net/endpoints.h"

namespace vm {
namespace {

constexpr long kConnectTimeoutMs = 60000;
constexpr long kIdleTimeoutSec = 60;

std::vector<std::string> SplitHeaderLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        if (!line.empty()) lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string CookieName(std::string_view item) {
    const auto b = item.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    item.remove_prefix(b);
    return std::string(item.substr(0, item.find('=')));
}

// The hand-made cookie text plus the store's own cookies for the URL whose names are not in
// it yet: one Cookie header, never two.
std::string MergeCookies(const std::string& manual, const std::string& automatic) {
    if (automatic.empty()) return manual;
    std::set<std::string> names;
    for (std::string::size_type p = 0; p <= manual.size();) {
        const auto semi = manual.find(';', p);
        names.insert(CookieName(std::string_view(manual).substr(p, semi - p)));
        if (semi == std::string::npos) break;
        p = semi + 1;
    }
    std::string out = manual;
    for (std::string::size_type p = 0; p <= automatic.size();) {
        const auto semi = automatic.find(';', p);
        std::string item(std::string_view(automatic).substr(p, semi - p));
        if (!item.empty() && item[0] == ' ') item.erase(0, 1);
        if (!item.empty() && !names.count(CookieName(item))) {
            if (!out.empty()) out += "; ";
            out += item;
        }
        if (semi == std::string::npos) break;
        p = semi + 1;
    }
    return out;
}

}  // namespace

namespace {

// The request as every one-shot call sends it; answers go to the caller's callbacks.
HttpRequest MakeOneShotRequest(const std::string& verb, const std::string& url, OneShotFlags flags,
                               std::string_view extraHeaders, std::string_view body,
                               const std::string& cookieText) {
    const RequestLimits limits = CurrentRequestLimits();
    HttpRequest request;
    request.method = verb;
    request.url = url;
    request.userAgent = kOneShotAgent;
    request.direct = true;
    request.connectTimeoutMs = kConnectTimeoutMs;
    request.idleTimeoutSec = kIdleTimeoutSec;
    request.deadlineMs = DeadlineWithBody(limits.oneShotDeadlineMs, body.size());
    request.maxBodyBytes = limits.answerCap;
    request.headers.push_back("Accept: */*");
    if (verb == "POST") {
        for (std::string& line : SplitHeaderLines(extraHeaders))
            request.headers.push_back(std::move(line));
        request.body = body;
    } else {
        for (std::string& line : SplitHeaderLines(extraHeaders))
            AddHeaderIfNew(request.headers, std::move(line));
    }
    AddHeaderIfNew(request.headers, "Cache-Control: no-cache");
    std::string cookies = cookieText;
    if (!HasFlag(flags, OneShotFlags::NoAutoCookies))
        cookies = MergeCookies(cookies, CCookieStore::Shared().CookiesFor(url));
    if (!cookies.empty()) AddHeaderIfNew(request.headers, "Cookie: " + cookies);
    return request;
}

}  // namespace

std::optional<OneShotResult> OneShotRequest(const std::string& verb, const std::string& url,
                                            OneShotFlags flags, std::string_view extraHeaders,
                                            std::string_view body, const std::string& cookieText,
                                            std::string* errorText) {
    const bool autoCookies = !HasFlag(flags, OneShotFlags::NoAutoCookies);
    HttpRequest request = MakeOneShotRequest(verb, url, flags, extraHeaders, body, cookieText);
    OneShotResult out;
    request.onData = [&out](const char* data, std::size_t n) {
        out.body.append(data, n);
        return true;
    };
    HttpResult result;
    {
        CurlHandle handle = MakeCurlHandle();
        result = RunTransfer(handle.get(), request);
    }
    if (!result.Ok()) {
        if (errorText) *errorText = result.errorText;
        return std::nullopt;
    }
    out.status = result.head.status;
    out.setCookies = result.head.All("Set-Cookie");
    // The answer is text: it ends at its first zero byte.
    out.body.resize(std::strlen(out.body.c_str()));
    if (autoCookies) CCookieStore::Shared().SetFromTransfer(result.cookiesSet);
    return out;
}

std::optional<std::string> OneShotGet(const std::string& url, OneShotFlags flags,
                                      const std::string& cookieText) {
    auto r = OneShotRequest("GET", url, flags, {}, {}, cookieText);
    if (!r) return std::nullopt;
    return std::move(r->body);
}

std::optional<std::string> OneShotPost(const std::string& url, OneShotFlags flags,
                                       std::string_view extraHeaders, std::string_view body,
                                       const std::string& cookieText) {
    auto r = OneShotRequest("POST", url, flags, extraHeaders, body, cookieText);
    if (!r) return std::nullopt;
    return std::move(r->body);
}

void PassportFireAndForget(const std::string& url) {
    HttpRequest request = MakeOneShotRequest("GET", url, OneShotFlags::NoCacheWrite, {}, {},
                                             BuildPassportCookieHeader(CookieSource::StoreOnly));
    // Nobody reads the answer: the connection closes as soon as its head is in. Cookies the
    // statistics server sets are kept like any other answer's.
    request.onHead = [](const HttpResponseHead&) { return false; };
    HttpResult result;
    {
        CurlHandle handle = MakeCurlHandle();
        result = RunTransfer(handle.get(), request);
    }
    CCookieStore::Shared().SetFromTransfer(result.cookiesSet);
}

Guarded<std::vector<std::string>>& SessionCookieList() {
    static auto* list = new Guarded<std::vector<std::string>>;
    return *list;
}

std::string BuildPassportCookieHeader(CookieSource source) {
    std::string text = CCookieStore::Shared().CookiesFor(PassportOrigin() + "/");
    if (source == CookieSource::WithSessionList) {
        for (const std::string& item : SessionCookieList().Get()) {
            if (!text.empty()) text += "; ";
            text += item;
        }
    }
    return text;
}

}  // namespace vm
