#pragma once

// The read-only text viewer of the skinned windows (the change log): a QPlainTextEdit over a
// background image, with skinned scroll bars painted from a grid image and its own menu
// "拷贝(&C)" / "全选(&A)". Typing, pasting, cutting and clearing do nothing; Ctrl+C copies and
// Ctrl+A selects all. Owned by its Qt parent; UI thread only.

#include <QImage>
#include <QPlainTextEdit>
#include <string_view>

#include "skin/SkinScrollBars.h"
#include "skin/WinMessages.h"

class QMenu;

namespace vm {

// Edit commands, with the system's message numbers.
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;

class CSkinEdit : public QPlainTextEdit {
  public:
    explicit CSkinEdit(QWidget* parent = nullptr);

    void SetText(std::string_view text);
    // Drawn stretched under the text; null for the theme's edit background colour.
    void SetBackgroundImage(QImage image);
    // The scroll-bar grid (4 x 6 cells); null for the library's default.
    void SetScrollBarImage(QImage image);
    // Cell size of the grid as the bars use it: arrow length and bar thickness.
    void SetScrollBarMetrics(int cellWidth, int cellHeight);
    void SetColors(COLORREF text, COLORREF back);

    // The edit commands of the window: copy is carried out, the others do nothing.
    bool Command(UINT command);
    // The menu the right button shows.
    QMenu* CreateContextMenu();
    // Answers the bars' part-drawing notification from the grid image.
    void PaintScrollPart(QPainter& painter, const NMCSBCUSTOMDRAW& part);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

  private:
    QImage m_background;
    QImage m_grid;
    int m_cellWidth = 15;
    int m_cellHeight = 16;
};

}  // namespace vm
