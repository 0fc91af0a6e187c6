#include "net/CommunityResult.h"

#include <charconv>

namespace vm {
namespace {

constexpr int kUnknown = -1;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

int CommunityInfoCode(std::string_view info) {
    const auto colon = info.find(':');
    if (colon == std::string_view::npos) return kUnknown;
    std::string_view number = info.substr(0, colon);
    while (!number.empty() && IsSpace(number.front())) number.remove_prefix(1);
    while (!number.empty() && IsSpace(number.back())) number.remove_suffix(1);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    int code = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), code);
    // Words or an out-of-range number in front of the colon say nothing about the failure.
    if (number.empty() || ec != std::errc() || end != number.data() + number.size())
        return kUnknown;
    // The answer did not say success, so it must not read as one.
    return code == 0 ? kUnknown : code;
}

int ParseCommunityResult(std::string_view text, tinyxml2::XMLDocument& doc,
                         const tinyxml2::XMLElement** result) {
    if (result) *result = nullptr;
    doc.Clear();
    if (text.empty() || doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS)
        return kUnknown;
    const tinyxml2::XMLElement* root = doc.FirstChildElement("result");
    if (!root) return kUnknown;
    if (result) *result = root;
    int success = 0;
    if (root->QueryIntAttribute("success", &success) == tinyxml2::XML_SUCCESS && success == 1)
        return 0;
    const char* info = root->Attribute("info");
    return info ? CommunityInfoCode(info) : kUnknown;
}

int CommunityResultCode(std::string_view text) {
    tinyxml2::XMLDocument doc;
    return ParseCommunityResult(text, doc);
}

std::string AttributeText(const tinyxml2::XMLElement& element, const char* name) {
    const char* value = element.Attribute(name);
    return value ? std::string(value) : std::string();
}

}  // namespace vm
