#include "skin/CSkinEdit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextCursor>

#include "skin/CDC.h"
#include "skin/CUIVScrollBar.h"
#include "skin/UITheme.h"

namespace vm {

CSkinEdit::CSkinEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setUndoRedoEnabled(false);
    SetColors(UITheme::Get().Color(34), UITheme::Get().Color(30));
    AttachSkinScrollBars(
        this, [this](QPainter& p, const NMCSBCUSTOMDRAW& nm) { PaintScrollPart(p, nm); });
    SetScrollBarStyle(this, SB_BOTH, 2);
    SetScrollBarMetrics(15, 16);
    SetMinThumbSize(this, SB_VERT, 12);
}

void CSkinEdit::SetText(std::string_view text) {
    setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void CSkinEdit::SetBackgroundImage(QImage image) {
    m_background = std::move(image);
    // The picture shows through where the text paints nothing.
    viewport()->setAutoFillBackground(m_background.isNull());
    viewport()->update();
}

void CSkinEdit::SetScrollBarImage(QImage image) {
    m_grid = std::move(image);
    if (QWidget* bar = SkinScrollBarWidget(this, SB_VERT)) bar->update();
}

void CSkinEdit::SetScrollBarMetrics(int cellWidth, int cellHeight) {
    m_cellWidth = cellWidth;
    m_cellHeight = cellHeight;
    // Arrows one cell long, bars one cell thick.
    SetScrollBarSize(this, SB_VERT, cellHeight, cellWidth);
    SetScrollBarSize(this, SB_HORZ, cellWidth, cellHeight);
}

void CSkinEdit::SetColors(COLORREF text, COLORREF back) {
    QPalette pal = palette();
    pal.setColor(QPalette::Text, ToQColor(text));
    pal.setColor(QPalette::Base, ToQColor(back));
    pal.setColor(QPalette::Window, ToQColor(back));
    setPalette(pal);
}

bool CSkinEdit::Command(UINT command) {
    switch (command) {
        case WM_COPY:
            copy();
            return true;
        case WM_CUT:
        case WM_PASTE:
        case WM_CLEAR:
        case 199:
            return false;  // a viewer: nothing changes its text
        default:
            return false;
    }
}

QMenu* CSkinEdit::CreateContextMenu() {
    auto* menu = new QMenu(this);
    QAction* copyAction = menu->addAction(QStringLiteral("拷贝(&C)"));
    copyAction->setEnabled(textCursor().hasSelection());
    connect(copyAction, &QAction::triggered, this, [this] { Command(WM_COPY); });
    menu->addSeparator();
    QAction* all = menu->addAction(QStringLiteral("全选(&A)"));
    const int length = document()->characterCount() - 1;
    const QTextCursor c = textCursor();
    const bool allSelected =
        c.hasSelection() && c.selectionStart() == 0 && c.selectionEnd() >= length;
    all->setEnabled(length > 0 && !allSelected);
    connect(all, &QAction::triggered, this, [this] { selectAll(); });
    return menu;
}

void CSkinEdit::contextMenuEvent(QContextMenuEvent* e) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void CSkinEdit::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy)) {
        Command(WM_COPY);
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) ||
        e->matches(QKeySequence::Delete) || !e->text().isEmpty()) {
        // Typed characters and editing keys are swallowed; navigation still works.
        const int key = e->key();
        const bool navigation = key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                                key == Qt::Key_PageDown || key == Qt::Key_Home ||
                                key == Qt::Key_End || key == Qt::Key_Left || key == Qt::Key_Right;
        if (!navigation) {
            e->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void CSkinEdit::inputMethodEvent(QInputMethodEvent* e) {
    e->accept();  // nothing is typed into a viewer
}

void CSkinEdit::insertFromMimeData(const QMimeData*) {}

bool CSkinEdit::canInsertFromMimeData(const QMimeData*) const {
    return false;
}

void CSkinEdit::paintEvent(QPaintEvent* e) {
    if (!m_background.isNull()) {
        QPainter p(viewport());
        p.drawImage(viewport()->rect(), m_background);
    }
    QPlainTextEdit::paintEvent(e);
}

void CSkinEdit::PaintScrollPart(QPainter& painter, const NMCSBCUSTOMDRAW& part) {
    DrawScrollPartFromGrid(painter, m_grid.isNull() ? DefaultScrollBarImage() : m_grid, part);
}

}  // namespace vm
