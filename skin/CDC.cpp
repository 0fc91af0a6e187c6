#include "skin/CDC.h"

#include <QFontMetrics>
#include <QPolygon>

#include "platform/Text.h"
#include "skin/UITheme.h"

namespace vm {
namespace {
QString FromU16(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
QString FromU8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

QColor ToQColor(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
COLORREF FromQColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}
QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}
RECT FromQRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

CDC::CDC(QPainter& painter) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (const QFont* f = UITheme::Get().Font(1)) font_ = *f;
    painter_.setFont(font_);
}

void CDC::SaveDC() {
    painter_.save();
    saved_.push_back({font_, textColor_});
}

void CDC::RestoreDC() {
    if (saved_.empty()) return;
    painter_.restore();
    font_ = saved_.back().font;
    textColor_ = saved_.back().textColor;
    saved_.pop_back();
    painter_.setFont(font_);
}

void CDC::IntersectClip(const RECT& rect) {
    painter_.setClipRect(ToQRect(rect),
                         painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void CDC::IntersectClip(const QRegion& region) {
    painter_.setClipRegion(region, painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

bool CDC::SelectThemeFont(int index) {
    const QFont* f = UITheme::Get().Font(index);
    if (!f) return false;
    SelectFont(*f);
    return true;
}

void CDC::SelectFont(const QFont& font) {
    font_ = font;
    painter_.setFont(font_);
}

TEXTMETRIC CDC::GetTextMetrics() const {
    return UITheme::MetricsOf(font_);
}

SIZE CDC::GetTextExtent(std::u16string_view text) const {
    const QFontMetrics fm(font_);
    return SIZE{fm.horizontalAdvance(FromU16(text)), fm.height()};
}

SIZE CDC::GetTextExtent(std::string_view utf8) const {
    return GetTextExtent(platform::Utf8ToUtf16(utf8));
}

void CDC::TextOut(int x, int y, std::u16string_view text) {
    painter_.setPen(ToQColor(textColor_));
    painter_.drawText(QPoint(x, y + QFontMetrics(font_).ascent()), FromU16(text));
}

void CDC::TextOut(int x, int y, std::string_view utf8) {
    painter_.setPen(ToQColor(textColor_));
    painter_.drawText(QPoint(x, y + QFontMetrics(font_).ascent()), FromU8(utf8));
}

void CDC::FillRect(const RECT& rect, COLORREF color) {
    if (rect.IsEmpty()) return;
    painter_.fillRect(ToQRect(rect), ToQColor(color));
}

void CDC::FillRect(const RECT& rect, const QBrush& brush) {
    if (rect.IsEmpty()) return;
    painter_.fillRect(ToQRect(rect), brush);
}

void CDC::HLine(int x1, int x2, int y, COLORREF color) {
    if (x2 < x1) std::swap(x1, x2);
    FillRect(RECT{x1, y, x2, y + 1}, color);
}

void CDC::VLine(int x, int y1, int y2, COLORREF color) {
    if (y2 < y1) std::swap(y1, y2);
    FillRect(RECT{x, y1, x + 1, y2}, color);
}

void CDC::FrameRect(const RECT& r, COLORREF color) {
    if (r.IsEmpty()) return;
    HLine(r.left, r.right, r.top, color);
    HLine(r.left, r.right, r.bottom - 1, color);
    VLine(r.left, r.top, r.bottom, color);
    VLine(r.right - 1, r.top, r.bottom, color);
}

void CDC::FillPolygon(const POINT* points, int count, const QBrush& brush, Qt::FillRule rule) {
    if (count < 3) return;
    QPolygon poly;
    for (int i = 0; i < count; ++i) poly << QPoint(points[i].x, points[i].y);
    painter_.save();
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(brush);
    painter_.drawPolygon(poly, rule);
    painter_.restore();
}

void CDC::DrawImage(const RECT& dest, const QImage& image, const RECT& source) {
    if (dest.IsEmpty() || source.IsEmpty() || image.isNull()) return;
    painter_.drawImage(ToQRect(dest), image, ToQRect(source));
}

void CDC::DrawImage(int x, int y, const QImage& image) {
    if (!image.isNull()) painter_.drawImage(QPoint(x, y), image);
}

}  // namespace vm
