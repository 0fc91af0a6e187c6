#include "skin/UITheme.h"

#include <QFontMetrics>

namespace vm {
namespace {

struct ColorDefault {
    int index;
    COLORREF first;
    COLORREF second;
};

// Unlisted indexes are 0; a second colour of 0 is "not set".
constexpr ColorDefault kColors[] = {
    {1, 0xEBEFEF, 0},         {3, 0xEEEEEE, 0},         {4, 0x000000, 0},
    {5, 0x506060, 0},         {6, 0xFCFAFA, 0xE3D7D7},  {7, 0xF8F8F8, 0xD6D6D6},
    {8, 0xE3D7D7, 0xFCFAFA},  {9, 0x000000, 0},         {10, 0x140000, 0},
    {11, 0xCCCCCC, 0},        {12, 0xBD9E7B, 0},        {13, 0xBD9E7B, 0},
    {14, 0xCCCCCC, 0},        {15, 0x8C8C8C, 0},        {16, 0xFFFFFF, 0},
    {17, 0xE7C3AD, 0},        {18, 0xFFFFFF, 0},        {19, 0xFFFFFF, 0},
    {20, 0xFFF5E9, 0},        {21, 0xF6F2F2, 0},        {22, 0xFFFFFF, 0xFFF2EC},
    {23, 0xB3ADAB, 0},        {24, 0xAD7B3D, 0},        {25, 0xCCCCCC, 0},
    {28, 0xCCCCCC, 0},        {30, 0xFFFFFF, 0},        {31, 0xFFFBFF, 0},
    {32, 0xFFFBFF, 0},        {33, 0xFFFBFF, 0},        {35, 0xAAA6A7, 0},
    {36, 0xAAA6A7, 0},        {37, 0xB3ADAB, 0},        {38, 0xEAE3E2, 0},
    {39, 0xAD7B3D, 0},        {40, 0xEDD9B7, 0},        {41, 0xCCCCCC, 0},
    {42, 0xCCCCCC, 0},        {43, 0x50B4D0, 0},        {44, 0x195181, 0},
    {45, 0xD7E7E9, 0x939696}, {46, 0xC9DBDA, 0},        {47, 0xB1C1C5, 0},
    {50, 0xCCFFFF, 0},        {51, 0xCCCCFF, 0},        {52, 0x779291, 0},
    {53, 0xB3C4C3, 0},        {54, 0xFFFFFF, 0},        {55, 0xFF0000, 0},
    {56, 0xFFFBFF, 0},        {58, 0xFFFBFF, 0xD7E7E9}, {59, 0xFFFBFF, 0},
    {60, 0xB5A694, 0},
};

QColor Q(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

UITheme& UITheme::Get() {
    static UITheme theme;
    return theme;
}

UITheme::UITheme() {
    // "Tahoma" at a 12-pixel character height. Where it is missing, a condensed sans writes
    // Latin (the windows' boxes were sized for Tahoma's narrow Latin, which the system's usual
    // substitute, a wide sans, overflows) and the CJK face installed with the program Chinese.
    QFont base;
    base.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    base.setPixelSize(12);
    auto derive = [&](bool bold, int pixels, bool underline) {
        QFont f = base;
        if (bold) f.setWeight(QFont::Bold);
        if (pixels) f.setPixelSize(pixels);
        f.setUnderline(underline);
        return f;
    };
    m_fonts[1] = base;
    m_fonts[2] = derive(true, 0, false);
    m_fonts[3] = base;
    m_fonts[4] = QFont();  // never set: the system's default font
    m_fonts[5] = derive(false, 0, true);
    m_fonts[6] = derive(true, 15, false);
    m_fonts[7] = derive(true, 19, false);
    m_fonts[8] = derive(false, 16, false);
    m_fonts[9] = derive(false, 10, false);
    m_fonts[10] = derive(false, 700, false);  // a height field of 700; nothing selects it
    for (const ColorDefault& c : kColors) {
        m_first[c.index] = c.first;
        m_second[c.index] = c.second;
    }
}

TEXTMETRIC UITheme::MetricsOf(const QFont& font) {
    const QFontMetrics fm(font);
    TEXTMETRIC tm;
    tm.tmAscent = fm.ascent();
    tm.tmDescent = fm.descent();
    tm.tmHeight = fm.height();
    tm.tmAveCharWidth = fm.averageCharWidth();
    tm.tmMaxCharWidth = fm.maxWidth();
    tm.tmExternalLeading = std::max(0, fm.leading());
    return tm;
}

const QFont* UITheme::Font(int index) {
    if (index < 1 || index > kFontCount) return nullptr;
    return &m_fonts[index];
}

TEXTMETRIC UITheme::FontInfo(int index) {
    if (index < 1 || index > kFontCount) return {};
    if (!m_metrics[index]) m_metrics[index] = MetricsOf(m_fonts[index]);
    return *m_metrics[index];
}

COLORREF UITheme::Color(int index) const {
    if (index < 1 || index > kColorCount) return 0;
    return m_first[index];
}

bool UITheme::ColorPair(int index, COLORREF& first, COLORREF& second) const {
    if (index < 1 || index > kColorCount) return false;
    first = m_first[index];
    second = m_second[index];
    return true;
}

const QPen& UITheme::Pen(int index) {
    static const QPen none(Qt::NoPen);
    if (index < 1 || index > kColorCount) return none;
    if (!m_pens[index]) m_pens[index] = QPen(Q(m_first[index]), 1);
    return *m_pens[index];
}

const QBrush& UITheme::Brush(int index) {
    static const QBrush none(Qt::NoBrush);
    if (index < 1 || index > kColorCount) return none;
    if (!m_brushes[index]) m_brushes[index] = QBrush(Q(m_first[index]));
    return *m_brushes[index];
}

void UITheme::SetColorPair(int index, COLORREF first, COLORREF second) {
    if (index < 1 || index > kColorCount) return;
    m_first[index] = first;
    m_second[index] = second;
    DropCache(index);
}

void UITheme::SetFirst(int index, COLORREF color) {
    m_first[index] = color;
    DropCache(index);
}

void UITheme::SetFramePair(int first, COLORREF a, COLORREF b) {
    SetFirst(first, a);
    SetFirst(first + 1, b == kNoColor ? a : b);
}

void UITheme::DropCache(int index) {
    m_pens[index].reset();
    m_brushes[index].reset();
}

const QImage& UITheme::Image(DefaultImage which) const {
    return m_images[static_cast<std::size_t>(which)];
}

void UITheme::SetImage(DefaultImage which, QImage image) {
    m_images[static_cast<std::size_t>(which)] = std::move(image);
}

}  // namespace vm
