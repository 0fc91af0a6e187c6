// Marked-up text from anywhere (resource strings, server texts) must lay out without crashing
// or looping, whatever the box and style.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Text.h"
#include "skin/MarkupLayout.h"
#include "skin/MarkupTokenizer.h"
#include "skin/StringTable.h"

namespace {

// Fixed-width fonts: font n is n+5 pixels high, n+2 wide; wide characters count double.
class FakeCanvas : public vm::IMarkupCanvas {
  public:
    bool SelectFont(int index) override {
        if (index < 1 || index > 10) return false;
        font_ = index;
        return true;
    }
    vm::MarkupFontMetrics FontMetrics(int index) override {
        if (index < 1 || index > 10) return {};
        return {index + 5, index + 2, index % 3};
    }
    int TextWidth(std::u16string_view text) override {
        int w = 0;
        for (char16_t c : text) w += (c > 0x2E80 ? 2 : 1) * (font_ + 2);
        return w;
    }
    vm::COLORREF ThemeColor(int index) override { return static_cast<vm::COLORREF>(index); }
    void SetTextColor(vm::COLORREF) override {}
    void FillRect(const vm::RECT&, vm::COLORREF) override {}
    void DrawText(int, int, std::u16string_view text) override { drawn_ += text.size(); }
    void DrawHLine(int, int, int, vm::COLORREF) override {}

    std::size_t drawn_ = 0;

  private:
    int font_ = 1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    static const bool tableSet = [] {
        vm::SetStringTable([](unsigned id) -> std::optional<std::string> {
            if (id % 2) return std::nullopt;
            return std::string("<b>%{") + std::to_string(id) + "}</b>&x";
        });
        return true;
    }();
    (void)tableSet;
    // The first bytes pick the box width and the style; the rest is the text.
    const int width = data[0] % 64;  // includes boxes narrower than one character
    const vm::UINT style = static_cast<vm::UINT>(data[1]) | (static_cast<vm::UINT>(data[2]) << 8);
    const bool open = data[3] & 1;
    const std::string_view raw(reinterpret_cast<const char*>(data + 4), size - 4);
    const std::u16string text = vm::ExpandResourceRefs(platform::Utf8ToUtf16(raw));

    FakeCanvas canvas;
    vm::RECT links[4];
    vm::MarkupParams p;
    p.rect = {3, 5, open ? 10002 : 3 + width, 200};
    p.style = style;
    p.links = links;
    p.linkCount = data[3] >> 5;
    p.mouse = {data[3] % 40, 7};
    p.acceleratorDisplay = data[3] & 2;
    p.lineSpacing = (data[3] & 4) ? data[0] % 7 : -1;
    const vm::MarkupResult r = vm::LayoutMarkup(canvas, text, p);
    if (r.linkCount < 0 || r.linkCount > 4) __builtin_trap();
    return 0;
}
