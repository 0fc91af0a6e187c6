#include "skin/MarkupLayout.h"

#include <algorithm>
#include <climits>

#include "skin/MarkupTokenizer.h"

namespace vm {
namespace {

constexpr int kOpenWidth = 9998;  // a right edge beyond this means "as wide as needed"
constexpr int kRulePen = 52;
constexpr int kIconCell = 16;

class Layout {
  public:
    Layout(IMarkupCanvas& canvas, std::u16string_view text, const MarkupParams& p)
        : m_cv(canvas), m_text(text), m_p(p), m_rc(p.rect) {}

    MarkupResult Run();

  private:
    void SelectFont(int index) {
        if (m_cv.SelectFont(index)) {
            m_tm = m_cv.FontMetrics(index);
            m_drawnHeight = m_tm.height;
        } else {
            m_tm = {};
        }
        m_useSpacing = false;
    }
    int Leading() const { return m_useSpacing ? m_p.lineSpacing : m_tm.externalLeading; }
    // Centred on the line by the font the text is really drawn in: a tag naming no font
    // leaves the metrics zero but the previous font selected.
    int TextY() const {
        return m_y + ((m_p.style & DT_VCENTER) ? (m_lineHeight - m_drawnHeight) / 2 : 0);
    }
    void SetColor(COLORREF c) {
        if (m_draw) m_cv.SetTextColor(c);
    }
    void StoreLink(const RECT& box) {
        if (m_linkIndex < static_cast<int>(m_p.links.size())) m_p.links[m_linkIndex++] = box;
    }
    void Tag(const MarkupToken& t);
    // Places as much of the run as fits; returns the characters consumed.
    std::size_t TextRun(const MarkupToken& t);
    void Advance(int to) {
        m_x = to;
        m_contentRight = std::max(m_contentRight, to);
    }

    IMarkupCanvas& m_cv;
    std::u16string_view m_text;
    const MarkupParams& m_p;
    RECT m_rc;
    bool m_draw = true;
    MarkupFontMetrics m_tm;
    int m_drawnHeight = 0;  // height of the font selected on the canvas
    bool m_useSpacing = false;
    int m_x = 0, m_y = 0, m_lineHeight = 0, m_indent = 0;
    POINT m_linkStart;
    bool m_inLink = false;
    int m_linkIndex = 0;
    int m_hovered = -1;
    int m_iconBottom = INT_MIN;
    int m_contentRight = 0;
};

// Measures `text` on one line in an open box at `rc`'s top-left.
RECT MeasureSingleLine(IMarkupCanvas& canvas, std::u16string_view text, const MarkupParams& p) {
    MarkupParams m = p;
    m.rect = {p.rect.left, p.rect.top, p.rect.left + 9999, p.rect.top + 100};
    m.style = (p.style & ~(DT_CENTER | DT_RIGHT | DT_VCENTER)) | DT_CALCRECT;
    m.backColor = kNoColor;
    m.links = {};
    m.linkCount = 0;
    return LayoutMarkup(canvas, text, m).rect;
}

MarkupResult Layout::Run() {
    m_draw = (m_p.style & DT_CALCRECT) == 0;
    const bool single = (m_p.style & DT_SINGLELINE) != 0;
    if (m_draw && single && (m_p.style & (DT_VCENTER | DT_CENTER | DT_RIGHT))) {
        const RECT m = MeasureSingleLine(m_cv, m_text, m_p);
        if (m_p.style & DT_VCENTER) {
            const int top = m_rc.top + m_rc.Height() / 2 - m.Height() / 2;
            m_rc.top = top;
            m_rc.bottom = top + m.Height();
        }
        if (m_p.style & DT_CENTER) {
            m_rc.Offset(m_rc.Width() / 2 - m.Width() / 2, 0);
        } else if (m_p.style & DT_RIGHT) {
            m_rc.left = m_rc.right - m.Width();
        }
    }
    if (m_draw && m_p.backColor != kNoColor) m_cv.FillRect(m_rc, m_p.backColor);
    for (int i = 0; i < std::min<int>(m_p.linkCount, static_cast<int>(m_p.links.size())); ++i) {
        if (m_p.links[i].Contains(m_p.mouse)) {
            m_hovered = i;
            break;
        }
    }

    SetColor(m_p.textColor);
    SelectFont(1);
    m_useSpacing = m_p.lineSpacing != -1;
    m_x = m_contentRight = m_rc.left;
    m_y = m_rc.top;
    m_lineHeight = m_tm.height + Leading();
    m_linkStart = {m_x, m_y};

    std::size_t pos = 0;
    std::size_t lineStart = 0;
    while (pos < m_text.size()) {
        const char16_t ch = m_text[pos];
        if (m_x >= m_rc.right || ch == u'\n') {
            if (m_inLink) StoreLink({m_linkStart.x, m_linkStart.y, m_x, m_y + m_tm.height});
            if (single) break;
            // A box narrower than one character places nothing on a line; stop there instead
            // of piling up empty lines for ever.
            const bool placedNothing = ch != u'\n' && pos == lineStart;
            if (ch == u'\n') ++pos;
            if (placedNothing) break;
            m_y += m_lineHeight;
            m_x = m_rc.left + m_indent;
            m_linkStart = {m_x, m_y};
            m_lineHeight = m_tm.height + Leading();
            if (m_x >= m_rc.right) break;
            while (pos < m_text.size() && m_text[pos] == u' ') ++pos;
            lineStart = pos;
            continue;
        }
        const MarkupToken t = NextMarkupToken(m_text, pos);
        switch (t.kind) {
            case MarkupTokenKind::Tag:
                Tag(t);
                break;
            case MarkupTokenKind::Ampersand:
                if (m_p.style & DT_NOPREFIX) {
                    const int w = m_cv.TextWidth(u"&");
                    if (m_draw) m_cv.DrawText(m_x, TextY(), u"&");
                    Advance(m_x + w);
                } else if (m_draw && m_p.acceleratorDisplay) {
                    m_cv.DrawText(m_x, TextY(), u"_");
                }
                break;
            case MarkupTokenKind::Blank: {
                const int w = m_cv.TextWidth(u" ");
                if (m_draw) m_cv.DrawText(m_x, TextY(), u" ");
                Advance(m_x + w);
                break;
            }
            case MarkupTokenKind::Run:
                pos += TextRun(t);
                continue;
            case MarkupTokenKind::LineFeed:
                break;  // handled above
        }
        pos = t.end;
    }

    const bool leftOver = pos < m_text.size();
    for (int i = m_linkIndex; i < static_cast<int>(m_p.links.size()); ++i) m_p.links[i] = RECT{};
    MarkupResult result{m_rc, m_linkIndex, false};
    // Only characters a reader would miss count; closing tags and blanks may stay behind.
    for (std::size_t p = pos; p < m_text.size() && !result.leftOver;) {
        const MarkupToken t = NextMarkupToken(m_text, p);
        if (t.kind == MarkupTokenKind::Run ||
            (t.kind == MarkupTokenKind::Ampersand && (m_p.style & DT_NOPREFIX)))
            result.leftOver = true;
        p = t.end;
    }
    if (!m_draw) {
        result.rect.bottom = std::max(m_y + m_lineHeight, m_iconBottom);
        // The widest line, not only the last one: a measured box must hold every line.
        if (m_p.rect.right > kOpenWidth) result.rect.right = m_contentRight + (leftOver ? 3 : 0);
    }
    return result;
}

void Layout::Tag(const MarkupToken& t) {
    const bool line_start = m_x == m_rc.left + m_indent;
    switch (t.letter) {
        case u'a':
            if (t.closing) {
                StoreLink({m_linkStart.x, m_linkStart.y, m_x, m_y + m_tm.height + Leading()});
                SetColor(m_p.textColor);
                SelectFont(1);
                m_inLink = false;
            } else {
                SetColor(m_p.textColor);
                const MarkupFontMetrics f5 = m_cv.FontMetrics(5);
                m_lineHeight = std::max(m_lineHeight, f5.height + f5.externalLeading);
                m_linkStart = {m_x, m_y};
                m_inLink = true;
            }
            break;
        case u'b':
            if (t.closing) {
                SelectFont(1);
            } else {
                SelectFont(2);
                m_lineHeight = std::max(m_lineHeight, m_tm.height + Leading());
            }
            break;
        case u'f':
            if (t.closing) {
                SelectFont(1);
            } else {
                // A name instead of a number selects nothing and leaves zero metrics.
                SelectFont(MarkupNumberArg(t.args));
                m_lineHeight = std::max(m_lineHeight, m_tm.height + Leading());
            }
            break;
        case u'c':
            if (t.closing) {
                SetColor(m_p.textColor);
            } else if (auto hex = MarkupHexColorArg(t.args)) {
                SetColor(*hex);
            } else {
                SetColor(m_cv.ThemeColor(MarkupNumberArg(t.args)));
            }
            break;
        case u'h':
            if (!t.closing) {
                if (m_draw)
                    m_cv.DrawHLine(m_x, m_rc.right - m_indent, m_y + 5, m_cv.ThemeColor(kRulePen));
                m_lineHeight = 12;
            }
            break;
        case u'i':
            if (!t.closing) {
                if (line_start) {
                    m_indent = kIconCell + kIconCell / 8;
                } else {
                    m_lineHeight = std::max(m_lineHeight, kIconCell);
                }
                Advance(m_x + kIconCell + kIconCell / 8);
                m_iconBottom = std::max(m_iconBottom, m_y + kIconCell);
            }
            break;
        case u'p':
            if (!t.closing) {
                m_x = m_rc.right;
                m_lineHeight = std::max(m_tm.height + Leading(), m_lineHeight) + 5;
                m_indent = 0;
                SelectFont(1);
                SetColor(m_p.textColor);
            }
            break;
        case u'x':
            if (!t.closing) {
                m_indent = MarkupNumberArg(t.args);
                if (m_x < m_rc.left + m_indent) Advance(m_rc.left + m_indent);
            }
            break;
        default:
            break;
    }
}

std::size_t Layout::TextRun(const MarkupToken& t) {
    const std::u16string_view run = m_text.substr(t.begin, t.end - t.begin);
    std::size_t n = run.size();
    // The first character count that no longer fits, 0 when the whole run does.
    std::size_t over = 0;
    const auto fits = [&](std::size_t k) {
        return m_x + m_cv.TextWidth(run.substr(0, k)) <= m_rc.right;
    };
    if (m_tm.height == 0 && m_tm.aveCharWidth == 0) {
        // No font is known (a tag named a font that does not exist): the average width is all
        // there is, and at zero it never wraps.
        for (std::size_t k = 1; k <= run.size(); ++k) {
            long w = static_cast<long>(m_tm.aveCharWidth) * static_cast<long>(k);
            if (m_x + w >= m_rc.right && !fits(k)) {
                over = k;
                break;
            }
        }
    } else if (!fits(run.size())) {
        // Measured with the font it is drawn in: an average-width guess falls short on
        // full-width (Chinese) characters and the line runs past the edge. The widths grow
        // with the count, so halving finds the first one that does not fit.
        std::size_t lo = 0, hi = run.size();  // fits(lo), !fits(hi)
        while (hi - lo > 1) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (fits(mid)) {
                lo = mid;
            } else {
                hi = mid;
            }
        }
        over = hi;
    }
    bool cut = false;
    if (over > 0) {
        n = over;
        // The last blank of the part that fits, the place a word break cuts.
        const std::size_t blank = run.substr(0, over - 1).rfind(u' ');
        const std::size_t afterBlank = blank == std::u16string_view::npos ? 0 : blank + 1;
        if ((m_p.style & DT_WORDBREAK) && afterBlank > 0) n = afterBlank;
        if ((m_p.style & DT_END_ELLIPSIS) && n > 2) n -= 2;
        n -= 1;
        cut = true;
    }
    const std::u16string_view piece = run.substr(0, n);
    const int runX = m_x;
    const int w = n > 0 ? m_cv.TextWidth(piece) : 0;
    if (m_draw && n > 0) {
        const int ty = TextY();
        m_cv.DrawText(runX, ty, piece);
        if (cut && (m_p.style & DT_END_ELLIPSIS)) m_cv.DrawText(m_rc.right - 10, ty, u"...");
        if (m_inLink && m_linkIndex == m_hovered) {
            m_cv.DrawHLine(runX, runX + w, ty + m_tm.height - 1, m_p.textColor);
        }
    }
    Advance(runX + w);
    if (cut) m_x = m_rc.right;  // forces the line end
    return n;
}

}  // namespace

MarkupResult LayoutMarkup(IMarkupCanvas& canvas, std::u16string_view text,
                          const MarkupParams& params) {
    if (params.rect.IsEmpty()) return {params.rect, 0};
    return Layout(canvas, text, params).Run();
}

}  // namespace vm
