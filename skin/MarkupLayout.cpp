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
        : cv_(canvas), text_(text), p_(p), rc_(p.rect) {}

    MarkupResult Run();

  private:
    void SelectFont(int index) {
        if (cv_.SelectFont(index)) {
            tm_ = cv_.FontMetrics(index);
        } else {
            tm_ = {};
        }
        useSpacing_ = false;
    }
    int Leading() const { return useSpacing_ ? p_.lineSpacing : tm_.externalLeading; }
    int TextY() const {
        return y_ + ((p_.style & DT_VCENTER) ? (lineHeight_ - tm_.height) / 2 : 0);
    }
    void SetColor(COLORREF c) {
        if (draw_) cv_.SetTextColor(c);
    }
    void StoreLink(const RECT& box) {
        if (linkIndex_ < static_cast<int>(p_.links.size())) p_.links[linkIndex_++] = box;
    }
    void Tag(const MarkupToken& t);
    // Places as much of the run as fits; returns the characters consumed.
    std::size_t TextRun(const MarkupToken& t);
    void Advance(int to) {
        x_ = to;
        contentRight_ = std::max(contentRight_, to);
    }

    IMarkupCanvas& cv_;
    std::u16string_view text_;
    const MarkupParams& p_;
    RECT rc_;
    bool draw_ = true;
    MarkupFontMetrics tm_;
    bool useSpacing_ = false;
    int x_ = 0, y_ = 0, lineHeight_ = 0, indent_ = 0;
    POINT linkStart_;
    bool inLink_ = false;
    int linkIndex_ = 0;
    int hovered_ = -1;
    int iconBottom_ = INT_MIN;
    int contentRight_ = 0;
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
    draw_ = (p_.style & DT_CALCRECT) == 0;
    const bool single = (p_.style & DT_SINGLELINE) != 0;
    if (draw_ && single && (p_.style & (DT_VCENTER | DT_CENTER | DT_RIGHT))) {
        const RECT m = MeasureSingleLine(cv_, text_, p_);
        if (p_.style & DT_VCENTER) {
            const int top = rc_.top + rc_.Height() / 2 - m.Height() / 2;
            rc_.top = top;
            rc_.bottom = top + m.Height();
        }
        if (p_.style & DT_CENTER) {
            rc_.Offset(rc_.Width() / 2 - m.Width() / 2, 0);
        } else if (p_.style & DT_RIGHT) {
            rc_.left = rc_.right - m.Width();
        }
    }
    if (draw_ && p_.backColor != kNoColor) cv_.FillRect(rc_, p_.backColor);
    for (int i = 0; i < std::min<int>(p_.linkCount, static_cast<int>(p_.links.size())); ++i) {
        if (p_.links[i].Contains(p_.mouse)) {
            hovered_ = i;
            break;
        }
    }

    SetColor(p_.textColor);
    SelectFont(1);
    useSpacing_ = p_.lineSpacing != -1;
    x_ = contentRight_ = rc_.left;
    y_ = rc_.top;
    lineHeight_ = tm_.height + Leading();
    linkStart_ = {x_, y_};

    std::size_t pos = 0;
    std::size_t lineStart = 0;
    while (pos < text_.size()) {
        const char16_t ch = text_[pos];
        if (x_ >= rc_.right || ch == u'\n') {
            if (inLink_) StoreLink({linkStart_.x, linkStart_.y, x_, y_ + tm_.height});
            if (single) break;
            // A box narrower than one character places nothing on a line; stop there instead
            // of piling up empty lines for ever.
            const bool placedNothing = ch != u'\n' && pos == lineStart;
            if (ch == u'\n') ++pos;
            if (placedNothing) break;
            y_ += lineHeight_;
            x_ = rc_.left + indent_;
            linkStart_ = {x_, y_};
            lineHeight_ = tm_.height + Leading();
            if (x_ >= rc_.right) break;
            while (pos < text_.size() && text_[pos] == u' ') ++pos;
            lineStart = pos;
            continue;
        }
        const MarkupToken t = NextMarkupToken(text_, pos);
        switch (t.kind) {
            case MarkupTokenKind::Tag:
                Tag(t);
                break;
            case MarkupTokenKind::Ampersand:
                if (p_.style & DT_NOPREFIX) {
                    const int w = cv_.TextWidth(u"&");
                    if (draw_) cv_.DrawText(x_, TextY(), u"&");
                    Advance(x_ + w);
                } else if (draw_ && p_.acceleratorDisplay) {
                    cv_.DrawText(x_, TextY(), u"_");
                }
                break;
            case MarkupTokenKind::Blank: {
                const int w = cv_.TextWidth(u" ");
                if (draw_) cv_.DrawText(x_, TextY(), u" ");
                Advance(x_ + w);
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

    const bool leftOver = pos < text_.size();
    for (int i = linkIndex_; i < static_cast<int>(p_.links.size()); ++i) p_.links[i] = RECT{};
    MarkupResult result{rc_, linkIndex_};
    if (!draw_) {
        result.rect.bottom = std::max(y_ + lineHeight_, iconBottom_);
        // The widest line, not only the last one: a measured box must hold every line.
        if (p_.rect.right > kOpenWidth) result.rect.right = contentRight_ + (leftOver ? 3 : 0);
    }
    return result;
}

void Layout::Tag(const MarkupToken& t) {
    const bool line_start = x_ == rc_.left + indent_;
    switch (t.letter) {
        case u'a':
            if (t.closing) {
                StoreLink({linkStart_.x, linkStart_.y, x_, y_ + tm_.height + Leading()});
                SetColor(p_.textColor);
                SelectFont(1);
                inLink_ = false;
            } else {
                SetColor(p_.textColor);
                const MarkupFontMetrics f5 = cv_.FontMetrics(5);
                lineHeight_ = std::max(lineHeight_, f5.height + f5.externalLeading);
                linkStart_ = {x_, y_};
                inLink_ = true;
            }
            break;
        case u'b':
            if (t.closing) {
                SelectFont(1);
            } else {
                SelectFont(2);
                lineHeight_ = std::max(lineHeight_, tm_.height + Leading());
            }
            break;
        case u'f':
            if (t.closing) {
                SelectFont(1);
            } else {
                // A name instead of a number selects nothing and leaves zero metrics.
                SelectFont(MarkupNumberArg(t.args));
                lineHeight_ = std::max(lineHeight_, tm_.height + Leading());
            }
            break;
        case u'c':
            if (t.closing) {
                SetColor(p_.textColor);
            } else if (auto hex = MarkupHexColorArg(t.args)) {
                SetColor(*hex);
            } else {
                SetColor(cv_.ThemeColor(MarkupNumberArg(t.args)));
            }
            break;
        case u'h':
            if (!t.closing) {
                if (draw_) cv_.DrawHLine(x_, rc_.right - indent_, y_ + 5, cv_.ThemeColor(kRulePen));
                lineHeight_ = 12;
            }
            break;
        case u'i':
            if (!t.closing) {
                if (line_start) {
                    indent_ = kIconCell + kIconCell / 8;
                } else {
                    lineHeight_ = std::max(lineHeight_, kIconCell);
                }
                Advance(x_ + kIconCell + kIconCell / 8);
                iconBottom_ = std::max(iconBottom_, y_ + kIconCell);
            }
            break;
        case u'p':
            if (!t.closing) {
                x_ = rc_.right;
                lineHeight_ = std::max(tm_.height + Leading(), lineHeight_) + 5;
                indent_ = 0;
                SelectFont(1);
                SetColor(p_.textColor);
            }
            break;
        case u'x':
            if (!t.closing) {
                indent_ = MarkupNumberArg(t.args);
                if (x_ < rc_.left + indent_) Advance(rc_.left + indent_);
            }
            break;
        default:
            break;
    }
}

std::size_t Layout::TextRun(const MarkupToken& t) {
    const std::u16string_view run = text_.substr(t.begin, t.end - t.begin);
    std::size_t n = run.size();
    std::size_t afterBlank = 0;
    bool cut = false;
    for (std::size_t k = 1; k <= run.size(); ++k) {
        // The average width is a cheap estimate; measure exactly only near the right edge.
        long w = static_cast<long>(tm_.aveCharWidth) * static_cast<long>(k);
        if (x_ + w >= rc_.right) w = cv_.TextWidth(run.substr(0, k));
        if (x_ + w >= rc_.right) {
            n = k;
            if ((p_.style & DT_WORDBREAK) && afterBlank > 0) n = afterBlank;
            if ((p_.style & DT_END_ELLIPSIS) && n > 2) n -= 2;
            n -= 1;
            cut = true;
            break;
        }
        if (run[k - 1] == u' ') afterBlank = k;
    }
    const std::u16string_view piece = run.substr(0, n);
    const int runX = x_;
    const int w = n > 0 ? cv_.TextWidth(piece) : 0;
    if (draw_ && n > 0) {
        const int ty = TextY();
        cv_.DrawText(runX, ty, piece);
        if (cut && (p_.style & DT_END_ELLIPSIS)) cv_.DrawText(rc_.right - 10, ty, u"...");
        if (inLink_ && linkIndex_ == hovered_) {
            cv_.DrawHLine(runX, runX + w, ty + tm_.height - 1, p_.textColor);
        }
    }
    Advance(runX + w);
    if (cut) x_ = rc_.right;  // forces the line end
    return n;
}

}  // namespace

MarkupResult LayoutMarkup(IMarkupCanvas& canvas, std::u16string_view text,
                          const MarkupParams& params) {
    if (params.rect.IsEmpty()) return {params.rect, 0};
    return Layout(canvas, text, params).Run();
}

}  // namespace vm
