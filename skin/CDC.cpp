#include "skin/CDC.h"

#include <QFontMetrics>
#include <QPolygon>

#include "platform/Text.h"
#include "skin/ResourceLoader.h"
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

CDC::CDC(QPainter& painter) : m_painter(painter) {
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (const QFont* f = UITheme::Get().Font(1)) m_font = *f;
    m_painter.setFont(m_font);
}

void CDC::SaveDC() {
    m_painter.save();
    m_saved.push_back({m_font, m_textColor});
}

void CDC::RestoreDC() {
    if (m_saved.empty()) return;
    m_painter.restore();
    m_font = m_saved.back().font;
    m_textColor = m_saved.back().textColor;
    m_saved.pop_back();
    m_painter.setFont(m_font);
}

void CDC::IntersectClip(const RECT& rect) {
    m_painter.setClipRect(ToQRect(rect),
                          m_painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void CDC::IntersectClip(const QRegion& region) {
    m_painter.setClipRegion(region, m_painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

bool CDC::SelectThemeFont(int index) {
    const QFont* f = UITheme::Get().Font(index);
    if (!f) return false;
    SelectFont(*f);
    return true;
}

void CDC::SelectFont(const QFont& font) {
    m_font = font;
    m_painter.setFont(m_font);
}

TEXTMETRIC CDC::GetTextMetrics() const {
    return UITheme::MetricsOf(m_font);
}

SIZE CDC::GetTextExtent(std::u16string_view text) const {
    const QFontMetrics fm(m_font);
    return SIZE{fm.horizontalAdvance(FromU16(text)), fm.height()};
}

SIZE CDC::GetTextExtent(std::string_view utf8) const {
    return GetTextExtent(platform::Utf8ToUtf16(utf8));
}

void CDC::TextOut(int x, int y, std::u16string_view text) {
    m_painter.setPen(ToQColor(m_textColor));
    m_painter.drawText(QPoint(x, y + QFontMetrics(m_font).ascent()), FromU16(text));
}

void CDC::TextOut(int x, int y, std::string_view utf8) {
    m_painter.setPen(ToQColor(m_textColor));
    m_painter.drawText(QPoint(x, y + QFontMetrics(m_font).ascent()), FromU8(utf8));
}

void CDC::FillRect(const RECT& rect, COLORREF color) {
    if (rect.IsEmpty()) return;
    m_painter.fillRect(ToQRect(rect), ToQColor(color));
}

void CDC::FillRect(const RECT& rect, const QBrush& brush) {
    if (rect.IsEmpty()) return;
    m_painter.fillRect(ToQRect(rect), brush);
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
    m_painter.save();
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(brush);
    m_painter.drawPolygon(poly, rule);
    m_painter.restore();
}

const QImage* CDC::Sharper(const QImage& image) const {
    const QPaintDevice* device = m_painter.device();
    if (!device || device->devicePixelRatioF() < 1.5) return nullptr;
    const QImage& big = DoubleSizeOf(image);
    return big.isNull() ? nullptr : &big;
}

void CDC::DrawImage(const RECT& dest, const QImage& image, const RECT& source) {
    if (dest.IsEmpty() || source.IsEmpty() || image.isNull()) return;
    if (const QImage* big = Sharper(image)) {
        const QRect s = ToQRect(source);
        m_painter.drawImage(QRectF(ToQRect(dest)), *big,
                            QRectF(s.x() * 2, s.y() * 2, s.width() * 2, s.height() * 2));
        return;
    }
    m_painter.drawImage(ToQRect(dest), image, ToQRect(source));
}

void CDC::DrawImage(int x, int y, const QImage& image) {
    if (image.isNull()) return;
    if (const QImage* big = Sharper(image)) {
        m_painter.drawImage(QRectF(x, y, image.width(), image.height()), *big);
        return;
    }
    m_painter.drawImage(QPoint(x, y), image);
}

QBrush CDC::ImageBrush(const QImage& image, const RECT& source, POINT origin) const {
    const QRect s = ToQRect(source);
    if (const QImage* big = Sharper(image)) {
        QBrush brush(big->copy(s.x() * 2, s.y() * 2, s.width() * 2, s.height() * 2));
        brush.setTransform(QTransform::fromTranslate(origin.x, origin.y).scale(0.5, 0.5));
        return brush;
    }
    QBrush brush(image.copy(s));
    brush.setTransform(QTransform::fromTranslate(origin.x, origin.y));
    return brush;
}

}  // namespace vm
