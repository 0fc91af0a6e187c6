#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "net/HttpTransfer.h"

namespace vm {

// Status 400 and above is an error, except 499; redirects and the rest count as success.
[[nodiscard]] bool IsHttpError(int status);

// Runs request through the shared session's connection to the URL's host and port. A URL
// that does not parse gives a network error.
HttpResult SharedSessionRequest(HttpRequest request);

// Downloads url into path through the shared session: 0 on success, -1 on failure. HTTP
// errors, network errors and file errors are shown to the user. The file is written beside
// path and renamed over it only once the whole body has arrived. The request keeps to the
// mirror limits (net/RequestLimits.h) with cap as the most it may bring (0: the stated cap of
// one add-on file).
int HttpFetchToFile(const std::string& url, const std::filesystem::path& path,
                    std::uint64_t cap = 0);

// The body of url through the shared session; empty on any failure (an HTTP error is shown
// to the user, other failures are silent).
std::string HttpFetchToString(const std::string& url);

// The message shown for an HTTP error status of the shared session.
std::string HttpErrorText(int status);

}  // namespace vm
