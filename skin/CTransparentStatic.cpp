#include "skin/CTransparentStatic.h"

#include <QFontMetrics>
#include <QPainter>

#include "skin/CDC.h"
#include "skin/MarkupLayout.h"

namespace vm {

UINT StaticStyleToDrawFlags(UINT style) {
    UINT flags = 0;
    if ((style & 0x3) == SS_RIGHT) flags |= DT_RIGHT;
    if ((style & 0x3) == SS_CENTER) flags |= DT_CENTER;
    if (style & SS_CENTERIMAGE) flags |= DT_SINGLELINE | DT_VCENTER;
    if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
    const UINT ellipsis = style & SS_ELLIPSISMASK;
    if (ellipsis) flags |= DT_WORD_ELLIPSIS;
    if (ellipsis == SS_ENDELLIPSIS) flags |= DT_END_ELLIPSIS;
    if (ellipsis == SS_PATHELLIPSIS) flags |= DT_PATH_ELLIPSIS;
    if ((style & 0xC20C) == 0) flags |= DT_WORDBREAK;
    return flags;
}

CTransparentStatic::CTransparentStatic(QWidget* parent, UINT style)
    : QWidget(parent), m_style(style) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CTransparentStatic::SetText(const QString& text) {
    m_text = text;
    update();
}

void CTransparentStatic::SetTextColor(COLORREF color) {
    m_color = color;
    update();
}

void CTransparentStatic::paintEvent(QPaintEvent*) {
    const UINT flags = StaticStyleToDrawFlags(m_style);
    int align = Qt::AlignLeft;
    if (flags & DT_RIGHT) align = Qt::AlignRight;
    if (flags & DT_CENTER) align = Qt::AlignHCenter;
    align |= (flags & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    QString text = m_text;
    if (!(flags & DT_NOPREFIX))
        text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
            .remove(QLatin1Char('&'))
            .replace(QLatin1Char('\x01'), QLatin1Char('&'));
    const QFontMetrics fm(font());
    if (flags & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
        const Qt::TextElideMode mode = (flags & DT_PATH_ELLIPSIS) && !(flags & DT_END_ELLIPSIS)
                                           ? Qt::ElideMiddle
                                           : Qt::ElideRight;
        text = fm.elidedText(text, mode, width());
    }
    if (flags & DT_WORDBREAK) align |= Qt::TextWordWrap;
    QPainter p(this);
    p.setPen(ToQColor(m_color));
    p.drawText(rect(), align, text);
}

}  // namespace vm
