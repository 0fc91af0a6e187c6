#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vm {

// A URL split the way requests need it: "http://host:port/object?query".
struct HttpUrl {
    std::string scheme = "http";
    std::string host;
    int port = 80;
    std::string object = "/";  // path and query; "/" when the URL has none

    // scheme://host[:port] (the port only when it is not the scheme's default).
    std::string Origin() const;
    std::string Full() const { return Origin() + object; }
    // Path without the query.
    std::string Path() const;
};

// nullopt for anything that is not an http or https URL with a host and a valid port.
// A URL without a scheme is taken as http.
std::optional<HttpUrl> ParseHttpUrl(const std::string& url);

// A path on a server as a request sends it: each byte of every segment percent-encoded
// (UTF-8 bytes as they are), only the unreserved characters (letters, digits, "-._~") and the
// "/" between segments kept. Every name a mirror can hold then reaches it as itself, also
// one with a space, "#", "?", "%", "+" or "&".
std::string EncodeUrlPath(std::string_view path);

// The inverse for a server: "%XX" back to the byte ("+" stays "+"); nullopt for a "%" not
// followed by two hexadecimal digits.
std::optional<std::string> DecodeUrlPath(std::string_view encoded);

// "host" or "host:port" (the community and avatar endpoints) as an http origin.
std::string HostToOrigin(const std::string& hostAndPort);

}  // namespace vm
