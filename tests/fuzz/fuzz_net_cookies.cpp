// Server answers and the cookie jar are outside data: Set-Cookie values, URLs and jar lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/CCookieStore.h"
#include "net/HttpUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // First line: a URL; the rest: one Set-Cookie value per line.
    const auto nl = text.find('\n');
    const std::string url(text.substr(0, nl));
    std::vector<std::string> values;
    if (nl != std::string_view::npos) {
        std::string_view rest = text.substr(nl + 1);
        while (!rest.empty()) {
            const auto end = rest.find('\n');
            values.emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    if (auto parsed = vm::ParseHttpUrl(url)) {
        (void)parsed->Full();
        (void)parsed->Path();
    }
    vm::CCookieStore store{std::filesystem::path()};
    store.SetFromResponse(url.empty() ? "http://a.example/x/y" : url, values);
    (void)store.CookiesFor(url);
    (void)store.CookiesFor("http://a.example/x/y/z");
    (void)vm::CCookieStore::ParseJar(text, 1000);
    return 0;
}
