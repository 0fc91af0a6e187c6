#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vm {

constexpr char kPassportBoundary[] = "velmoraboundary1";
constexpr char kPassportMultipartHeader[] =
    "Content-Type: multipart/form-data, boundary=velmoraboundary1\r\n";
constexpr char kCommunityBoundary[] = "VelmoraBoundary";
constexpr char kCommunityMultipartHeader[] =
    "Content-Type: multipart/form-data, boundary=VelmoraBoundary\r\n";

// One file as the passport server takes it: part "data", file name "tvrnconfig.dat".
std::string BuildPassportMultipart(std::string_view boundary, std::string_view data);
// The passport layout's binary part "data" with the given file name, then the closing
// boundary; appended to body (which may already hold other fields).
void AppendPassportFilePart(std::string& body, std::string_view boundary, std::string_view fileName,
                            std::string_view data);

// One file as the community server takes it; partFileName is "config" or "armory".
std::string BuildCommunityMultipart(std::string_view partFileName, std::string_view fileBytes);
// The text before and after the file bytes of the community layout.
std::pair<std::string, std::string> CommunityMultipartFrame(std::string_view partFileName);

// UTF-8 bytes with letters and digits kept, white space as "+", everything else as %XX.
std::string UrlEncodeUtf8(std::string_view text);

// application/x-www-form-urlencoded: "&key=value" for every pair, keys and values
// percent-encoded, so a value such as "a&admin=1" stays one value.
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& params);

}  // namespace vm
