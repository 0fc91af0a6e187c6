#include "net/HttpUrl.h"

#include <cctype>

#include "platform/Text.h"

namespace vm {

std::string HttpUrl::Origin() const {
    const int defaultPort = scheme == "https" ? 443 : 80;
    std::string out = scheme;
    out += "://";
    if (host.find(':') != std::string::npos) {
        out += '[';
        out += host;
        out += ']';
    } else {
        out += host;
    }
    if (port != defaultPort) {
        out += ':';
        out += std::to_string(port);
    }
    return out;
}

std::string HttpUrl::Path() const {
    return object.substr(0, object.find('?'));
}

std::optional<HttpUrl> ParseHttpUrl(const std::string& url) {
    HttpUrl out;
    std::string rest = url;
    const auto schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos) {
        out.scheme = platform::AsciiLower(rest.substr(0, schemeEnd));
        rest = rest.substr(schemeEnd + 3);
    }
    if (out.scheme == "https")
        out.port = 443;
    else if (out.scheme != "http")
        return std::nullopt;

    const auto objStart = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, objStart);
    if (objStart != std::string::npos) {
        out.object = rest.substr(objStart);
        if (out.object[0] != '/') out.object.insert(out.object.begin(), '/');
        out.object = out.object.substr(0, out.object.find('#'));
    }
    if (authority.find('@') != std::string::npos) return std::nullopt;

    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        out.host = authority.substr(1, close - 1);
        std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return std::nullopt;
            portText = after.substr(1);
        }
    } else {
        const auto colon = authority.find(':');
        out.host = authority.substr(0, colon);
        if (colon != std::string::npos) portText = authority.substr(colon + 1);
    }
    if (out.host.empty()) return std::nullopt;
    for (char c : out.host)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '\\')
            return std::nullopt;
    if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            port = port * 10 + (c - '0');
        }
        if (port <= 0 || port > 65535) return std::nullopt;
        out.port = port;
    }
    return out;
}

std::string EncodeUrlPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0f];
        }
    }
    return out;
}

std::optional<std::string> DecodeUrlPath(std::string_view encoded) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            out += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size() || digit(encoded[i + 1]) < 0 || digit(encoded[i + 2]) < 0)
            return std::nullopt;
        out += static_cast<char>(digit(encoded[i + 1]) * 16 + digit(encoded[i + 2]));
        i += 2;
    }
    return out;
}

std::string HostToOrigin(const std::string& hostAndPort) {
    return "http://" + hostAndPort;
}

}  // namespace vm
