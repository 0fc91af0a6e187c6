#include "ui/CDlgStatus.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace vm {

CDlgStatus::CDlgStatus(QWidget* parent, const std::string& text)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QString::number(IDD));
    setWindowTitle("TovrinVelmora");
    setModal(false);
    m_text = new QLabel(this);
    m_text->setObjectName(QString::number(IDC_TEXT));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->addWidget(m_text);
    setMinimumSize(260, 72);
    SetText(text);
}

void CDlgStatus::SetText(const std::string& text) {
    m_text->setText(QString::fromStdString(text));
    adjustSize();
}

QString CDlgStatus::Text() const {
    return m_text->text();
}

void CDlgStatus::ShowCentered() {
    adjustSize();
    QRect area;
    if (QWidget* owner = parentWidget()) {
        area = owner->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid())
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    raise();
}

void CDlgStatus::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();  // the work decides when this window goes
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

void CDlgStatus::closeEvent(QCloseEvent* e) {
    e->ignore();
}

}  // namespace vm
