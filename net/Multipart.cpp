#include "net/Multipart.h"

#include <cctype>

namespace vm {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendPercent(std::string& out, unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0f];
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string FormComponent(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '*')
            out += static_cast<char>(c);
        else if (c == ' ')
            out += '+';
        else
            AppendPercent(out, c);
    }
    return out;
}

}  // namespace

void AppendPassportFilePart(std::string& out, std::string_view boundary, std::string_view fileName,
                            std::string_view data) {
    out += "--";
    out += boundary;
    out += "\r\n";
    out += "Content-Disposition: form-data; name=\"data\"; filename=\"";
    out += fileName;
    out += "\"\r\n";
    out += "Content-Type: application/octet-stream\r\n";
    out += "Content-Transfer-Encoding: binary\r\n";
    out += "\r\n";
    out += data;
    out += "\r\n--";
    out += boundary;
    out += "--\r\n";
}

std::string BuildPassportMultipart(std::string_view boundary, std::string_view data) {
    std::string out;
    out.reserve(data.size() + 256);
    AppendPassportFilePart(out, boundary, "tvrnconfig.dat", data);
    return out;
}

std::pair<std::string, std::string> CommunityMultipartFrame(std::string_view partFileName) {
    std::string head = "--VelmoraBoundary\r\n";
    head += "Content-Disposition: form-data; name=\"data\"; filename=\"";
    head += partFileName;
    head += "\"\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    head += "Content-Transfer-Encoding: binary\r\n\r\n";
    return {head, "\r\n--VelmoraBoundary--\r\n"};
}

std::string BuildCommunityMultipart(std::string_view partFileName, std::string_view fileBytes) {
    auto [head, tail] = CommunityMultipartFrame(partFileName);
    return head + std::string(fileBytes) + tail;
}

std::string UrlEncodeUtf8(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (IsAsciiAlnum(c))
            out += static_cast<char>(c);
        else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f')
            out += '+';
        else
            AppendPercent(out, c);
    }
    return out;
}

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& params) {
    std::string out;
    for (const auto& [key, value] : params) {
        out += '&';
        out += FormComponent(key);
        out += '=';
        out += FormComponent(value);
    }
    return out;
}

}  // namespace vm
