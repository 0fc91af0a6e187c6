// Marked-up text: the layout engine on a fixed-width canvas (exact positions), and the Qt
// renderer on an image (colours, fonts).

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <stdexcept>

#include "SkinTestSupport.h"
#include "platform/Text.h"
#include "skin/MarkupLayout.h"
#include "skin/MarkupText.h"
#include "skin/MarkupTokenizer.h"
#include "skin/StringTable.h"

namespace vm::test {
namespace {

struct Drawn {
    int x, y;
    std::string text;
    int font;
    COLORREF color;
};
struct Line {
    int x1, x2, y;
    COLORREF color;
};

// Font n: every character 6 + (n - 1) pixels wide, 12 + (n - 1) high, no leading.
class FakeCanvas : public IMarkupCanvas {
  public:
    bool SelectFont(int index) override {
        if (index < 1 || index > 10) return false;
        font = index;
        return true;
    }
    MarkupFontMetrics FontMetrics(int index) override {
        if (index < 1 || index > 10) return {};
        return {12 + index - 1, 6 + index - 1, 0};
    }
    int TextWidth(std::u16string_view text) override {
        // A layout still measuring after this many pieces would never end: fail it instead.
        if (++measured > 100000) throw std::runtime_error("the layout does not end");
        return static_cast<int>(text.size()) * (6 + font - 1);
    }
    COLORREF ThemeColor(int index) override { return 0x100 + static_cast<COLORREF>(index); }
    void SetTextColor(COLORREF c) override { color = c; }
    void FillRect(const RECT&, COLORREF c) override { fills.push_back(c); }
    void DrawText(int x, int y, std::u16string_view text) override {
        drawn.push_back({x, y, platform::Utf16ToUtf8(text), font, color});
    }
    void DrawHLine(int x1, int x2, int y, COLORREF c) override { lines.push_back({x1, x2, y, c}); }

    std::string AllText() const {
        std::string s;
        for (const Drawn& d : drawn) s += d.text;
        return s;
    }

    int font = 1;
    int measured = 0;
    COLORREF color = 0;
    std::vector<Drawn> drawn;
    std::vector<Line> lines;
    std::vector<COLORREF> fills;
};

struct Layout {
    FakeCanvas canvas;
    std::array<RECT, 10> links{};
    MarkupResult result;

    Layout(std::string_view text, RECT rect, UINT style = 0, int linkCount = 10,
           POINT mouse = {-1, -1}, bool accel = false) {
        MarkupParams p;
        p.rect = rect;
        p.textColor = 0x123456;
        p.style = style;
        p.links = std::span<RECT>(links.data(), static_cast<std::size_t>(linkCount));
        p.linkCount = linkCount;
        p.mouse = mouse;
        p.acceleratorDisplay = accel;
        result = LayoutMarkup(canvas, platform::Utf8ToUtf16(text), p);
    }
};

TEST(MarkupLayout, ColourTagTakesRedGreenBlueDigits) {
    Layout r("a<c #FDE6F9>b</c>c<c 44>d", {0, 0, 200, 50});
    ASSERT_EQ(r.canvas.drawn.size(), 4u);
    EXPECT_EQ(r.canvas.drawn[0].color, 0x123456u);
    EXPECT_EQ(r.canvas.drawn[1].color, RGB(0xFD, 0xE6, 0xF9));
    EXPECT_EQ(r.canvas.drawn[2].color, 0x123456u);
    EXPECT_EQ(r.canvas.drawn[3].color, 0x100u + 44);
}

TEST(MarkupLayout, BoldAndFontTags) {
    Layout r("a<b>bb</b>c<f 8>d</f>e", {0, 0, 400, 50});
    ASSERT_EQ(r.canvas.drawn.size(), 5u);
    EXPECT_EQ(r.canvas.drawn[1].font, 2);
    EXPECT_EQ(r.canvas.drawn[1].x, 6);
    EXPECT_EQ(r.canvas.drawn[2].x, 6 + 2 * 7);
    EXPECT_EQ(r.canvas.drawn[2].font, 1);
    EXPECT_EQ(r.canvas.drawn[3].font, 8);
    EXPECT_EQ(r.canvas.drawn[4].font, 1);
}

TEST(MarkupLayout, FontNameInsteadOfNumberKeepsFontOne) {
    Layout r("<f UIFONT_TITLE>Title", {0, 0, 400, 50});
    ASSERT_EQ(r.canvas.drawn.size(), 1u);
    EXPECT_EQ(r.canvas.drawn[0].font, 1);
    EXPECT_EQ(r.canvas.drawn[0].text, "Title");
}

TEST(MarkupLayout, LinkWrappedOverTwoLinesGivesTwoBoxesAndHoverUnderlinesOnePiece) {
    // 60 pixels hold ten characters; the link breaks after "abcdef".
    const std::u16string text = u"go <a>abcdef ghijkl</a>";
    FakeCanvas first;
    std::array<RECT, 10> links{};
    MarkupParams p;
    p.rect = {0, 0, 60, 100};
    p.textColor = 0x123456;
    p.style = DT_WORDBREAK;
    p.links = links;
    p.linkCount = 10;
    ASSERT_EQ(LayoutMarkup(first, text, p).linkCount, 2);
    EXPECT_EQ(links[0], (RECT{18, 0, 60, 12}));
    EXPECT_EQ(links[1], (RECT{0, 16, 36, 28}));  // a link raises the line to font 5's height
    EXPECT_EQ(links[2], RECT{});
    EXPECT_TRUE(first.lines.empty());

    // Hovering the second box underlines only the second piece.
    FakeCanvas hover;
    p.linkCount = 2;
    p.mouse = {10, 20};
    LayoutMarkup(hover, text, p);
    ASSERT_EQ(hover.lines.size(), 1u);
    EXPECT_EQ(hover.lines[0].y, 16 + 12 - 1);
    EXPECT_EQ(hover.lines[0].x1, 0);
    EXPECT_EQ(hover.lines[0].x2, 36);
    EXPECT_EQ(hover.lines[0].color, 0x123456u);
}

// Full-width characters twice the average, as in a CJK font.
class WideCanvas : public FakeCanvas {
  public:
    int TextWidth(std::u16string_view text) override {
        int w = FakeCanvas::TextWidth(text);
        for (char16_t c : text)
            if (c >= 0x1100) w += 6 + font - 1;
        return w;
    }
};

TEST(MarkupLayout, ChineseLineWrapsAtTheEdgeInsteadOfRunningPastIt) {
    // Ten characters of 12 pixels in a box 60 wide: five a line, none beyond the edge.
    WideCanvas canvas;
    MarkupParams p;
    p.rect = {0, 0, 60, 100};
    p.textColor = 0x123456;
    p.style = DT_WORDBREAK;
    const MarkupResult r = LayoutMarkup(canvas, u"游戏设置更新选项目录", p);
    ASSERT_EQ(canvas.drawn.size(), 2u);
    std::string all;
    for (const Drawn& d : canvas.drawn) {
        const int width = canvas.TextWidth(platform::Utf8ToUtf16(d.text));
        EXPECT_LE(d.x + width, 60) << d.text;
        all += d.text;
    }
    EXPECT_EQ(all, "游戏设置更新选项目录");
    EXPECT_EQ(canvas.drawn[1].y, 12);
    EXPECT_FALSE(r.leftOver);
}

TEST(MarkupLayout, OneLineTextFitsTheBoxItWasMeasuredFor) {
    // A label sized to its measured text keeps every character on its one line, Latin or
    // Chinese, in the middle of a run or at its end.
    const std::pair<std::u16string, std::string> cases[] = {
        {u"网络延迟：", "网络延迟："},
        {u"32 ms", "32 ms"},
        {u"<b>提示</b> 找回密码", "提示 找回密码"}};
    for (const auto& [text, shown] : cases) {
        WideCanvas measuring;
        MarkupParams m;
        m.rect = {10, 0, 9999, 100};
        m.style = DT_SINGLELINE | DT_CALCRECT;
        const RECT need = LayoutMarkup(measuring, text, m).rect;
        WideCanvas drawing;
        MarkupParams d;
        d.rect = {10, 0, need.right, 20};
        d.style = DT_SINGLELINE | DT_VCENTER;
        const MarkupResult r = LayoutMarkup(drawing, text, d);
        EXPECT_FALSE(r.leftOver) << platform::Utf16ToUtf8(text);
        std::string all;
        for (const Drawn& piece : drawing.drawn) all += piece.text;
        EXPECT_EQ(all, shown);
    }
    // One pixel less and the last character has no room: it is left over.
    WideCanvas narrow;
    MarkupParams n;
    n.rect = {0, 0, 5 * 12 - 1, 20};
    n.style = DT_SINGLELINE;
    EXPECT_TRUE(LayoutMarkup(narrow, u"网络延迟：", n).leftOver);
    EXPECT_EQ(narrow.AllText(), "网络延迟");
}

TEST(MarkupLayout, MoreLinksThanCapacityAreDrawnButNotStored) {
    Layout r("<a>a</a> <a>b</a> <a>c</a>", {0, 0, 300, 50}, 0, 2);
    EXPECT_EQ(r.result.linkCount, 2);
    EXPECT_EQ(r.canvas.AllText(), "a b c");
}

TEST(MarkupLayout, ParagraphRuleAndIndent) {
    Layout p("a<p>b", {0, 0, 300, 100});
    ASSERT_EQ(p.canvas.drawn.size(), 2u);
    EXPECT_EQ(p.canvas.drawn[1].x, 0);
    EXPECT_EQ(p.canvas.drawn[1].y, 12 + 5);

    Layout h("<x 10>ab<h>cd", {0, 0, 100, 100});
    ASSERT_EQ(h.canvas.lines.size(), 1u);
    EXPECT_EQ(h.canvas.lines[0].x1, 22);
    EXPECT_EQ(h.canvas.lines[0].x2, 90);  // right edge minus the indent
    EXPECT_EQ(h.canvas.lines[0].y, 5);
    EXPECT_EQ(h.canvas.lines[0].color, 0x100u + 52);
    EXPECT_EQ(h.canvas.drawn[0].x, 10);

    Layout wrap("<x 12>abcdefgh ijk", {0, 0, 70, 100}, DT_WORDBREAK);
    ASSERT_EQ(wrap.canvas.drawn.size(), 2u);
    EXPECT_EQ(wrap.canvas.drawn[1].x, 12);  // hanging indent on the next line
    EXPECT_EQ(wrap.canvas.drawn[1].text, "ijk");
}

TEST(MarkupLayout, AmpersandRules) {
    Layout plain("a&b", {0, 0, 100, 20});
    EXPECT_EQ(plain.canvas.AllText(), "ab");
    EXPECT_EQ(plain.canvas.drawn[1].x, 6);

    Layout accel("a&b", {0, 0, 100, 20}, 0, 10, {-1, -1}, true);
    ASSERT_EQ(accel.canvas.drawn.size(), 3u);
    EXPECT_EQ(accel.canvas.drawn[1].text, "_");
    EXPECT_EQ(accel.canvas.drawn[1].x, accel.canvas.drawn[2].x);  // under the b

    Layout literal("a&b", {0, 0, 100, 20}, DT_NOPREFIX, 10, {-1, -1}, true);
    EXPECT_EQ(literal.canvas.AllText(), "a&b");
}

TEST(MarkupLayout, EndEllipsisCutsTheRunAndDrawsDotsTenPixelsLeftOfTheEdge) {
    // 40 pixels: six characters fit, the seventh does not.
    Layout r("abcdefghij", {0, 0, 40, 20}, DT_SINGLELINE | DT_END_ELLIPSIS);
    ASSERT_EQ(r.canvas.drawn.size(), 2u);
    EXPECT_EQ(r.canvas.drawn[0].text, "abcd");
    EXPECT_EQ(r.canvas.drawn[1].text, "...");
    EXPECT_EQ(r.canvas.drawn[1].x, 30);

    Layout noEllipsis("abcdefghij", {0, 0, 40, 20}, DT_SINGLELINE);
    EXPECT_EQ(noEllipsis.canvas.AllText(), "abcdef");
}

TEST(MarkupLayout, MeasuringInAnOpenBox) {
    Layout three("abc", {5, 5, 9999, 100}, DT_CALCRECT);
    EXPECT_EQ(three.result.rect.right, 5 + 18);
    EXPECT_EQ(three.result.rect.bottom, 5 + 12);
    EXPECT_TRUE(three.canvas.drawn.empty());
    // The widest line counts, not the last one.
    Layout lines("abcdef\nab", {0, 0, 9999, 100}, DT_CALCRECT);
    EXPECT_EQ(lines.result.rect.right, 36);
    EXPECT_EQ(lines.result.rect.bottom, 24);
}

TEST(MarkupLayout, BoxNarrowerThanOneCharacterEndsTheLayout) {
    Layout r("abc def\nghi", {0, 0, 3, 1000}, DT_WORDBREAK);
    EXPECT_TRUE(r.canvas.drawn.empty());
    // A font without metrics (a name instead of a number) ends too: the text goes out once, on
    // the first line, instead of an endless run of empty lines.
    Layout zero("<f nine>abc def ghi jkl", {0, 0, 3, 1000}, DT_WORDBREAK);  // zero metrics
    ASSERT_EQ(zero.canvas.drawn.size(), 1u);
    EXPECT_EQ(zero.canvas.AllText(), "abc def ghi jkl");
    EXPECT_EQ(zero.canvas.drawn[0].y, 0);
}

TEST(MarkupLayout, MalformedMarkupDrawsAsText) {
    Layout r("<c #zz>1<", {0, 0, 300, 20});
    EXPECT_EQ(r.canvas.AllText(), "1<");
    Layout s("<5 <A> </ </>x", {0, 0, 300, 20});
    EXPECT_EQ(s.canvas.AllText(), "<5 <A> </ </>x");
    Layout u("<a>never closed", {0, 0, 300, 20});
    EXPECT_EQ(u.result.linkCount, 0);
    Layout t("x<b", {0, 0, 300, 20});
    EXPECT_EQ(t.canvas.AllText(), "x<b");
}

TEST(MarkupText, ResourceReferencesExpandOnce) {
    SetStringTable([](unsigned id) -> std::optional<std::string> {
        if (id == 7) return std::string("seven %{7}");
        if (id == 8) return std::string(300, 'x');
        return std::nullopt;
    });
    EXPECT_EQ(ExpandResourceRefs(std::string_view("a%{7}b%{7}")), "aseven %{7}bseven %{7}");
    EXPECT_EQ(ExpandResourceRefs(std::string_view("[%{9}]")), "[]");
    EXPECT_EQ(ExpandResourceRefs(std::string_view("%{8}")).size(), 254u);
    EXPECT_EQ(ExpandResourceRefs(std::string_view("%{x} %{")), "%{x} %{");
    SetStringTable(nullptr);
}

// The Qt renderer.
TEST(MarkupText, RendersTheColourOnAnImage) {
    TestApp();
    QImage image(120, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CDC dc(painter);
        RECT rc{0, 0, 120, 30};
        DrawMarkupText(dc, nullptr, rc, "<c #FDE6F9><b>MMMM</b>", 0xFFFFFF, kNoColor, nullptr,
                       nullptr, 0);
    }
    int exact = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 120; ++x) exact += PixelAt(image, x, y) == RGB(0xFD, 0xE6, 0xF9);
    }
    EXPECT_GT(exact, 10);
}

TEST(MarkupText, BoldMeasuresWiderAndLinkBoxesComeBack) {
    TestApp();
    const RECT plain = MeasureMarkupText(nullptr, {0, 0, 9999, 100}, "Velmora MMMM", 0);
    const RECT bold = MeasureMarkupText(nullptr, {0, 0, 9999, 100}, "<b>Velmora MMMM</b>", 0);
    EXPECT_GT(plain.Width(), 40);
    EXPECT_GT(bold.Width(), plain.Width());
    // Chinese texts find a face through the font fallback.
    EXPECT_GE(MeasureMarkupText(nullptr, {0, 0, 9999, 100}, "确定", 0).Width(), 16);

    QImage image(200, 30, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    CDC dc(painter);
    RECT links[3];
    int count = 3;
    RECT rc{0, 0, 200, 30};
    DrawMarkupText(dc, nullptr, rc, "see <a>here</a>", 0, 0xFFFFFF, links, &count,
                   DT_SINGLELINE | DT_VCENTER);
    ASSERT_EQ(count, 1);
    EXPECT_GT(links[0].left, 10);
    EXPECT_GT(links[0].Width(), 10);
    EXPECT_EQ(PixelAt(image, 199, 15), 0xFFFFFFu);  // back colour behind the centred line
}

}  // namespace
}  // namespace vm::test
