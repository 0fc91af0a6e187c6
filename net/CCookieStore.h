#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vm {

// The program's cookie store (the stand-in for the system's one). Cookies set by servers are
// kept for the life of the process; the persistent ones (with an expiry) are also written to
// the cookie-jar file at once, atomically, so they survive restarts. Session cookies never
// reach the file. Safe from any thread.
class CCookieStore {
  public:
    struct Cookie {
        std::string name;
        std::string value;
        std::string domain;      // lower case, without a leading dot
        bool tailMatch = false;  // also for sub-domains (a Domain attribute was given)
        std::string path = "/";
        bool secure = false;
        std::int64_t expires = 0;  // seconds since 1970; 0 for a session cookie
    };

    // jar empty: keep nothing on disk.
    explicit CCookieStore(std::filesystem::path jar);

    // The process-wide store, its jar "cookies.txt" in the user's data folder
    // ($XDG_DATA_HOME/Velmora, default ~/.local/share/Velmora).
    static CCookieStore& Shared();
    // Forgets the process-wide store's memory and reads its jar again, as a new run would
    // (for tests).
    static void ReloadShared();
    static std::filesystem::path DefaultJarPath();

    // Takes the Set-Cookie header values of a response to url.
    void SetFromResponse(const std::string& url, const std::vector<std::string>& setCookies);
    // The same for (answering URL, Set-Cookie value) pairs, as a transfer collects them.
    void SetFromTransfer(const std::vector<std::pair<std::string, std::string>>& cookiesSet);
    // "name=value; name=value" of every cookie that applies to url (empty when none).
    std::string CookiesFor(const std::string& url) const;
    std::vector<Cookie> All() const;
    // The persistent, unexpired cookies of a jar file's text (Netscape format).
    static std::vector<Cookie> ParseJar(std::string_view text, std::int64_t now);
    // Drops every cookie (log-out), also from the jar.
    void Clear();
    // Drops the cookies that would go to url's host, whatever their path (the passport's at
    // log-out), also from the jar.
    void ClearFor(const std::string& url);

  private:
    void Load();
    void SaveLocked() const;

    std::filesystem::path m_jar;
    mutable std::mutex m_lock;
    std::vector<Cookie> m_cookies;  // in the order they were first set
};

}  // namespace vm
