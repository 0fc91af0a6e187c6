#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Guarded.h"
#include "app/Version.h"

namespace vm {

// Passport-style one-shot requests: every call opens its own connection (direct, no proxy),
// sends the fixed agent, and reads the whole answer. They run on whatever thread calls them
// and block it until the answer is complete.

enum class OneShotFlags : unsigned {
    NoCacheWrite = 1,   // nothing is cached anyway; kept so call sites say what they ask for
    NoAutoCookies = 2,  // the request neither sends nor stores cookies on its own
};
constexpr OneShotFlags operator|(OneShotFlags a, OneShotFlags b) {
    return static_cast<OneShotFlags>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool HasFlag(OneShotFlags set, OneShotFlags f) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(f)) != 0;
}

constexpr char kOneShotAgent[] = "velmora-tvrn v" VM_VERSION_TEXT;

struct OneShotResult {
    int status = 0;
    std::string body;                     // up to its first zero byte
    std::vector<std::string> setCookies;  // Set-Cookie values in arrival order
};

// nullopt when the connection or the sending failed (errorText, when given, then gets the
// transfer library's reason). extraHeaders are "Name: value" lines separated by CRLF (a POST's
// content type); cookieText, when not empty, goes out as "Cookie: <text>".
std::optional<OneShotResult> OneShotRequest(const std::string& verb, const std::string& url,
                                            OneShotFlags flags, std::string_view extraHeaders,
                                            std::string_view body, const std::string& cookieText,
                                            std::string* errorText = nullptr);

std::optional<std::string> OneShotGet(const std::string& url, OneShotFlags flags,
                                      const std::string& cookieText);
std::optional<std::string> OneShotPost(const std::string& url, OneShotFlags flags,
                                       std::string_view extraHeaders, std::string_view body,
                                       const std::string& cookieText);

// GET with the passport cookies of the store; the answer is discarded.
void PassportFireAndForget(const std::string& url);

// The process-wide list of the passport's session cookies ("name=value" items, in order).
// Written by the passport login, read by requests that build a passport cookie header.
Guarded<std::vector<std::string>>& SessionCookieList();

enum class CookieSource { StoreOnly, WithSessionList };
// The cookies of the store that apply to the passport origin, followed (when asked) by the
// items of SessionCookieList, joined with "; ". Empty when there are none.
std::string BuildPassportCookieHeader(CookieSource source);

}  // namespace vm
