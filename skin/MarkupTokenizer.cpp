#include "skin/MarkupTokenizer.h"

#include "platform/Text.h"
#include "skin/StringTable.h"

namespace vm {
namespace {

bool IsLower(char16_t c) {
    return c >= u'a' && c <= u'z';
}
bool IsLetter(char16_t c) {
    return IsLower(c) || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int HexValue(char16_t c) {
    if (IsDigit(c)) return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

bool IsMarkupTagAt(std::u16string_view text, std::size_t pos) {
    if (pos + 1 >= text.size() || text[pos] != u'<') return false;
    if (text[pos + 1] == u'/') return pos + 2 < text.size() && IsLetter(text[pos + 2]);
    if (!IsLower(text[pos + 1])) return false;
    if (pos + 2 >= text.size()) return false;
    return text[pos + 2] == u' ' || text[pos + 2] == u'>';
}

MarkupToken NextMarkupToken(std::u16string_view text, std::size_t pos) {
    MarkupToken t;
    t.begin = pos;
    const char16_t c = text[pos];
    if (c == u'\n') {
        t.kind = MarkupTokenKind::LineFeed;
        t.end = pos + 1;
        return t;
    }
    if (c == u'&') {
        t.kind = MarkupTokenKind::Ampersand;
        t.end = pos + 1;
        return t;
    }
    if (c == u' ') {
        t.kind = MarkupTokenKind::Blank;
        t.end = pos + 1;
        return t;
    }
    if (IsMarkupTagAt(text, pos)) {
        t.kind = MarkupTokenKind::Tag;
        t.closing = text[pos + 1] == u'/';
        std::size_t p = pos + (t.closing ? 2 : 1);
        t.letter = text[p] | 0x20;  // closing tags may be written in capitals
        ++p;
        const std::size_t close = text.find(u'>', p);
        const std::size_t argEnd = close == std::u16string_view::npos ? text.size() : close;
        while (p < argEnd && text[p] == u' ') ++p;
        t.args = text.substr(p, argEnd - p);
        t.end = close == std::u16string_view::npos ? text.size() : close + 1;
        return t;
    }
    // A run; one that starts with a "<" that opens no tag carries it.
    std::size_t e = pos;
    if (text[e] == u'<') ++e;
    while (e < text.size() && text[e] != u'\n' && text[e] != u'&' && text[e] != u'<') ++e;
    t.kind = MarkupTokenKind::Run;
    t.end = e;
    return t;
}

int MarkupNumberArg(std::u16string_view args) {
    std::size_t p = 0;
    bool negative = false;
    if (p < args.size() && (args[p] == u'-' || args[p] == u'+')) {
        negative = args[p] == u'-';
        ++p;
    }
    long value = 0;
    for (; p < args.size() && IsDigit(args[p]); ++p) {
        value = value * 10 + (args[p] - u'0');
        if (value > 1000000) value = 1000000;
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<COLORREF> MarkupHexColorArg(std::u16string_view args) {
    if (args.empty() || args[0] != u'#') return std::nullopt;
    unsigned rgb = 0;
    for (std::size_t i = 1; i < args.size() && i <= 6; ++i) {
        const int v = HexValue(args[i]);
        if (v < 0) break;
        rgb = (rgb << 4) | static_cast<unsigned>(v);
    }
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::u16string ExpandResourceRefs(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] == u'{') {
            std::size_t p = i + 2;
            unsigned id = 0;
            bool overflow = false;
            while (p < text.size() && IsDigit(text[p])) {
                id = id * 10 + static_cast<unsigned>(text[p] - u'0');
                if (id > 0xFFFF) overflow = true;
                ++p;
            }
            if (p > i + 2 && p < text.size() && text[p] == u'}') {
                if (!overflow) {
                    if (auto s = LoadStringResource(id)) {
                        std::u16string r = platform::Utf8ToUtf16(*s);
                        if (r.size() > 254) r.resize(254);
                        out += r;
                    }
                }
                i = p + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string ExpandResourceRefs(std::string_view text) {
    if (text.find("%{") == std::string_view::npos) return std::string(text);
    return platform::Utf16ToUtf8(ExpandResourceRefs(platform::Utf8ToUtf16(text)));
}

}  // namespace vm
