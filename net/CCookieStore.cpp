#include "net/CCookieStore.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "net/HttpUrl.h"
#include "platform/Clock.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace vm {
namespace {

// Cookie parts are separated by spaces and tabs only.
constexpr std::string_view kCookieBlanks = " \t";

bool IsIpAddress(const std::string& host) {
    return host.find_first_not_of("0123456789.") == std::string::npos ||
           host.find(':') != std::string::npos;
}

bool DomainMatches(const CCookieStore::Cookie& c, const std::string& host) {
    if (host == c.domain) return true;
    return c.tailMatch && host.size() > c.domain.size() &&
           host.compare(host.size() - c.domain.size(), c.domain.size(), c.domain) == 0 &&
           host[host.size() - c.domain.size() - 1] == '.';
}

bool PathMatches(const std::string& cookiePath, const std::string& path) {
    if (path.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return path.size() == cookiePath.size() || cookiePath.back() == '/' ||
           path[cookiePath.size()] == '/';
}

std::string DefaultPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

std::int64_t Now() {
    return platform::UnixNow();
}

}  // namespace

CCookieStore::CCookieStore(std::filesystem::path jar) : m_jar(std::move(jar)) {
    Load();
}

std::filesystem::path CCookieStore::DefaultJarPath() {
    auto dir = platform::UserDataDir();
    return dir.empty() ? dir : dir / "cookies.txt";
}

namespace {
CCookieStore*& SharedSlot() {
    static CCookieStore* store = nullptr;
    return store;
}
std::mutex& SharedLock() {
    static std::mutex m;
    return m;
}
}  // namespace

CCookieStore& CCookieStore::Shared() {
    std::lock_guard<std::mutex> g(SharedLock());
    // Never destroyed: a statistics ping may still run while the process exits.
    if (!SharedSlot()) SharedSlot() = new CCookieStore(DefaultJarPath());
    return *SharedSlot();
}

void CCookieStore::ReloadShared() {
    CCookieStore fresh(DefaultJarPath());
    CCookieStore& store = Shared();
    std::lock_guard<std::mutex> g(store.m_lock);
    store.m_jar = fresh.m_jar;
    store.m_cookies = std::move(fresh.m_cookies);
}

void CCookieStore::Load() {
    if (m_jar.empty()) return;
    // A jar left readable by others (an earlier version wrote it 0644) is narrowed first.
    (void)platform::TightenFileMode(m_jar, platform::kPrivateFileMode);
    if (std::optional<std::string> text = platform::ReadWholeFile(m_jar))
        m_cookies = ParseJar(*text, Now());
}

std::vector<CCookieStore::Cookie> CCookieStore::ParseJar(std::string_view text, std::int64_t now) {
    std::vector<Cookie> out;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string line(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::string::size_type start = 0;
        for (;;) {
            const auto tab = line.find('\t', start);
            f.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() != 7) continue;
        Cookie c;
        c.tailMatch = !f[0].empty() && f[0][0] == '.';
        c.domain = platform::AsciiLower(c.tailMatch ? f[0].substr(1) : f[0]);
        c.path = f[2].empty() || f[2][0] != '/' ? "/" : f[2];
        c.secure = f[3] == "TRUE";
        c.expires = std::strtoll(f[4].c_str(), nullptr, 10);
        c.name = f[5];
        c.value = f[6];
        // Only persistent, unexpired cookies come back from an earlier run.
        if (c.domain.empty() || c.name.empty() || c.expires <= now) continue;
        out.push_back(std::move(c));
    }
    return out;
}

void CCookieStore::SaveLocked() const {
    if (m_jar.empty()) return;
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const Cookie& c : m_cookies) {
        if (c.expires == 0) continue;
        text += (c.tailMatch ? "." : "") + c.domain + '\t' + (c.tailMatch ? "TRUE" : "FALSE") +
                '\t' + c.path + '\t' + (c.secure ? "TRUE" : "FALSE") + '\t' +
                std::to_string(c.expires) + '\t' + c.name + '\t' + c.value + '\n';
    }
    // Passport cookies live for years: nobody but the user may read them.
    if (!platform::EnsurePrivateDir(m_jar.parent_path())) return;
    platform::WriteFileAtomic(m_jar, text, platform::kPrivateFileMode);
}

void CCookieStore::SetFromResponse(const std::string& url,
                                   const std::vector<std::string>& setCookies) {
    std::optional<HttpUrl> u = ParseHttpUrl(url);
    if (!u || setCookies.empty()) return;
    const std::string host = platform::AsciiLower(u->host);
    const std::int64_t now = Now();
    std::lock_guard<std::mutex> g(m_lock);
    bool persistentChanged = false;
    for (const std::string& header : setCookies) {
        std::vector<std::string> parts;
        std::string::size_type start = 0;
        for (;;) {
            const auto semi = header.find(';', start);
            parts.emplace_back(platform::Trim(std::string_view(header).substr(start, semi - start),
                                              kCookieBlanks));
            if (semi == std::string::npos) break;
            start = semi + 1;
        }
        const auto eq = parts[0].find('=');
        if (eq == std::string::npos) continue;
        Cookie c;
        c.name = platform::Trim(parts[0].substr(0, eq), kCookieBlanks);
        c.value = platform::Trim(parts[0].substr(eq + 1), kCookieBlanks);
        if (c.name.empty() || c.name.find_first_of("\t\r\n") != std::string::npos ||
            c.value.find_first_of("\t\r\n") != std::string::npos)
            continue;
        c.domain = host;
        c.path = DefaultPath(u->Path());
        bool haveMaxAge = false;
        bool reject = false;
        for (size_t i = 1; i < parts.size(); ++i) {
            const auto aeq = parts[i].find('=');
            const std::string key =
                platform::AsciiLower(platform::Trim(parts[i].substr(0, aeq), kCookieBlanks));
            const std::string val =
                aeq == std::string::npos
                    ? std::string()
                    : std::string(platform::Trim(parts[i].substr(aeq + 1), kCookieBlanks));
            if (key == "max-age") {
                char* end = nullptr;
                const long long secs = std::strtoll(val.c_str(), &end, 10);
                if (val.empty() || *end) continue;
                haveMaxAge = true;
                // A huge Max-Age (strtoll saturates) means "never": stop at the largest time.
                constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
                c.expires = secs <= 0 ? -1 : secs > kLatest - now ? kLatest : now + secs;
            } else if (key == "expires" && !haveMaxAge) {
                const time_t t = curl_getdate(val.c_str(), nullptr);
                if (t != -1) c.expires = t <= now ? -1 : static_cast<std::int64_t>(t);
            } else if (key == "domain" && !val.empty()) {
                std::string d = platform::AsciiLower(val[0] == '.' ? val.substr(1) : val);
                Cookie probe;
                probe.domain = d;
                probe.tailMatch = true;
                // A server may only set cookies for itself or a domain it belongs to.
                if (d.empty() || (IsIpAddress(host) ? d != host : !DomainMatches(probe, host)) ||
                    d.find('.') == std::string::npos) {
                    reject = true;
                    break;
                }
                c.domain = d;
                c.tailMatch = !IsIpAddress(host);
            } else if (key == "path" && !val.empty() && val[0] == '/') {
                c.path = val;
            } else if (key == "secure") {
                c.secure = true;
            }
        }
        if (reject) continue;
        auto same = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& o) {
            return o.name == c.name && o.domain == c.domain && o.path == c.path;
        });
        if (same != m_cookies.end()) {
            persistentChanged |= same->expires != 0;
            if (c.expires < 0) {
                m_cookies.erase(same);
                continue;
            }
            *same = c;
        } else if (c.expires >= 0) {
            m_cookies.push_back(c);
        }
        persistentChanged |= c.expires > 0;
    }
    if (persistentChanged) SaveLocked();
}

void CCookieStore::SetFromTransfer(
    const std::vector<std::pair<std::string, std::string>>& cookiesSet) {
    for (const auto& [url, value] : cookiesSet) SetFromResponse(url, {value});
}

std::string CCookieStore::CookiesFor(const std::string& url) const {
    std::optional<HttpUrl> u = ParseHttpUrl(url);
    if (!u) return {};
    const std::string host = platform::AsciiLower(u->host);
    const std::string path = u->Path();
    const std::int64_t now = Now();
    std::vector<const Cookie*> hits;
    std::lock_guard<std::mutex> g(m_lock);
    for (const Cookie& c : m_cookies) {
        if (c.expires != 0 && c.expires <= now) continue;
        if (c.secure && u->scheme != "https") continue;
        if (DomainMatches(c, host) && PathMatches(c.path, path)) hits.push_back(&c);
    }
    // More specific paths first, as browsers send them.
    std::stable_sort(hits.begin(), hits.end(), [](const Cookie* a, const Cookie* b) {
        return a->path.size() > b->path.size();
    });
    std::string out;
    for (const Cookie* c : hits) {
        if (!out.empty()) out += "; ";
        out += c->name + "=" + c->value;
    }
    return out;
}

std::vector<CCookieStore::Cookie> CCookieStore::All() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_cookies;
}

void CCookieStore::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_cookies.clear();
    SaveLocked();
}

void CCookieStore::ClearFor(const std::string& url) {
    std::optional<HttpUrl> u = ParseHttpUrl(url);
    if (!u) return;
    const std::string host = platform::AsciiLower(u->host);
    std::lock_guard<std::mutex> g(m_lock);
    std::erase_if(m_cookies, [&](const Cookie& c) { return DomainMatches(c, host); });
    SaveLocked();
}

}  // namespace vm
