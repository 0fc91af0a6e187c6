#include "skin/CUIEditWnd.h"

#include <QEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "skin/CDC.h"
#include "skin/CUIEdit.h"
#include "skin/CUIManager.h"
#include "skin/NativeWindow.h"

namespace vm {
namespace {

// The overlay blends into the box the control drew: its colours, no frame of its own.
void StyleLike(QWidget* w, CUIManager* manager, bool enabled) {
    QPalette pal = w->palette();
    const QColor back = ToQColor(manager->GetThemeColor(enabled ? 30 : 32));
    const QColor text = ToQColor(manager->GetThemeColor(enabled ? 34 : 35));
    pal.setColor(QPalette::Base, back);
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::WindowText, text);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    if (const QFont* font = manager->GetThemeFont(1)) w->setFont(*font);
}

}  // namespace

CUIEditWnd::~CUIEditWnd() {
    if (m_widget) delete m_widget.data();
}

bool CUIEditWnd::Init() {
    CUIManager* manager = m_owner->GetManager();
    NativeWindow* window = manager ? manager->GetPaintWindow() : nullptr;
    if (!window) return false;
    RECT rc = m_owner->GetPos();
    const int inset = std::max(1, m_owner->m_frameWidth);
    rc.Deflate(inset, inset, inset, inset);
    const bool enabled = m_owner->IsEnabled();
    if (m_owner->m_persistent) {
        auto* edit = new QPlainTextEdit(window);
        edit->setFrameShape(QFrame::NoFrame);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setTabChangesFocus(true);
        StyleLike(edit, manager, enabled);
        edit->setPlainText(QString::fromStdString(m_owner->GetText()));
        edit->document()->setModified(false);
        edit->setGeometry(ToQRect(rc));
        QObject::connect(edit, &QPlainTextEdit::textChanged, this, [this, edit] {
            if (m_settingText || !m_owner) return;
            m_owner->OverlayChanged(edit->toPlainText().toStdString());
        });
        m_widget = edit;
    } else {
        auto* edit = new QLineEdit(window);
        edit->setFrame(false);
        StyleLike(edit, manager, enabled);
        const UINT style = m_owner->m_editStyle;
        edit->setAlignment(((style & ES_CENTER)  ? Qt::AlignHCenter
                            : (style & ES_RIGHT) ? Qt::AlignRight
                                                 : Qt::AlignLeft) |
                           Qt::AlignVCenter);
        if (style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
        // One text line, centred in the box and one pixel lower.
        const TEXTMETRIC tm = manager->GetThemeFontInfo(1);
        const int shrink = std::max(0, (rc.Height() - tm.tmHeight - tm.tmExternalLeading) / 2);
        rc.Deflate(0, shrink, 0, shrink);
        rc.Offset(0, 1);
        edit->setText(QString::fromStdString(m_owner->GetText()));
        edit->setModified(false);
        edit->setTextMargins(2, 0, 2, 0);
        edit->setGeometry(ToQRect(rc));
        QObject::connect(edit, &QLineEdit::textChanged, this, [this, edit] {
            if (m_settingText || !m_owner) return;
            m_owner->OverlayChanged(edit->text().toStdString());
        });
        m_widget = edit;
    }
    m_widget->installEventFilter(this);
    SetSelection(0, -1);
    m_widget->setEnabled(enabled);
    SetReadOnly(m_owner->m_readOnly);
    if (m_owner->m_textLimit > 0) SetTextLimit(m_owner->m_textLimit);
    if (m_owner->IsVisible()) m_widget->show();
    if (!m_owner->m_persistent) m_widget->setFocus(Qt::OtherFocusReason);
    return true;
}

void CUIEditWnd::SetText(const std::string& text) {
    if (!m_widget) return;
    m_settingText = true;
    const QString q = QString::fromStdString(text);
    if (auto* line = qobject_cast<QLineEdit*>(m_widget)) {
        line->setText(q);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(m_widget)) {
        plain->setPlainText(q);
    }
    m_settingText = false;
}

void CUIEditWnd::SetTextLimit(int limit) {
    if (auto* line = qobject_cast<QLineEdit*>(m_widget)) {
        line->setMaxLength(limit > 0 ? limit : 32767);
    }
    // The multi-line overlay is never limited by the control: nothing here cuts the text.
}

void CUIEditWnd::SetSelection(int start, int end) {
    if (auto* line = qobject_cast<QLineEdit*>(m_widget)) {
        const int len = static_cast<int>(line->text().size());
        if (end < 0 || end > len) end = len;
        start = std::clamp(start, 0, len);
        line->setSelection(start, end - start);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(m_widget)) {
        QTextCursor c = plain->textCursor();
        const int len = plain->document()->characterCount() - 1;
        if (end < 0 || end > len) end = len;
        c.setPosition(std::clamp(start, 0, len));
        c.setPosition(end, QTextCursor::KeepAnchor);
        plain->setTextCursor(c);
    }
}

void CUIEditWnd::SetReadOnly(bool readOnly) {
    if (auto* line = qobject_cast<QLineEdit*>(m_widget)) line->setReadOnly(readOnly);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(m_widget)) plain->setReadOnly(readOnly);
}

void CUIEditWnd::Close() {
    if (m_closing) return;
    m_closing = true;
    if (m_owner) m_owner->OverlayGone(this);
    m_owner = nullptr;
    if (m_widget) {
        m_widget->removeEventFilter(this);
        m_widget->hide();
        m_widget->deleteLater();
    }
    deleteLater();
}

bool CUIEditWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widget && event->type() == QEvent::FocusOut && m_owner &&
        !m_owner->m_persistent && !m_closing) {
        m_owner->EndEdit();
    }
    if (watched == m_widget && event->type() == QEvent::MouseButtonPress && m_owner &&
        m_owner->m_persistent && m_owner->GetManager()) {
        // A click into the persistent overlay makes the control the window's focus.
        if (m_owner->GetManager()->GetFocus() != m_owner) m_owner->GetManager()->SetFocus(m_owner);
    }
    return false;
}

}  // namespace vm
