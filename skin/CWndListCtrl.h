#pragma once

// The owner-drawn list: a native child widget that draws a scrolling grid of entries into
// its back buffer. Each entry holds sub-items (marked-up text, links, an icon strip cell, a
// check box in sub-item 0, a hand-cursor button area), laid out in rows of one or more
// entries under optional column headers, with selection, hover, grid lines, tooltips and a
// skinned scroll bar. It reports to the window containing it with posted messages whose
// wParam is the list. Owned by its Qt parent; UI thread only.

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "skin/SkinScrollBars.h"
#include "skin/WinMessages.h"

namespace vm {

// Messages the list posts to its window (wParam = the list).
constexpr UINT WM_LIST_SELCHANGED = 2049;  // selection or a check mark changed
constexpr UINT WM_LIST_CLICKED = 2050;     // an entry or a link; a link's target is the payload
constexpr UINT WM_LIST_RCLICKED = 2051;    // right press on an entry, before it is selected
constexpr UINT WM_LIST_DBLCLICKED = 2052;
constexpr UINT WM_LIST_BUTTONUP = 2053;  // left release inside a hand-cursor area

struct CListSubItem {
    std::string text;
    std::string link;  // target of a link without one of its own
    std::string tooltip;
    int style = 0;
    std::vector<RECT> links;  // link boxes of the last drawing
    std::vector<std::string> linkTargets;
    int clickedLink = -1;
    int image = -1;
    COLORREF color = kNoColor;
    std::uintptr_t extra = 0;
    int value1 = 0;
    int value2 = 0;
    bool handArea = false;
    RECT handRect;
};

struct CListEntry {
    std::vector<CListSubItem> subItems;
    std::uintptr_t data = 0;
    int height = 20;
    bool selected = false;
    bool checked = false;
    RECT checkRect;
    int value = 0;
    RECT rect;
};

struct CListColumn {
    std::string text;
    int width = 0;
    int format = 0;  // 0 left, 1 right, 2 centre
};

class CWndListCtrl : public QWidget {
  public:
    explicit CWndListCtrl(QWidget* parent = nullptr);
    ~CWndListCtrl() override;

    // Places the list in its parent and gives it its control id.
    void Create(const RECT& rect, int id);
    int GetId() const { return m_id; }

    // Entries and sub-items. Setting a sub-item of entry = count appends an entry.
    int AddEntry(std::uintptr_t data = 0);
    bool SetSubItem(int entry, int sub, std::string_view text, int image = -1,
                    COLORREF color = kNoColor, std::uintptr_t extra = 0);
    CListSubItem* GetSubItem(int entry, int sub);
    CListEntry* GetEntry(int entry);
    std::string GetSubItemText(int entry, int sub) const;
    int GetEntryCount() const { return static_cast<int>(m_entries.size()); }
    bool DeleteEntry(int index);
    void DeleteAllEntries();
    int AddColumn(int index, std::string_view text, int width, int format = 0);
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    int GetColumnWidth(int col) const;
    int GetColumnFormat(int col) const;
    std::string GetColumnText(int col) const;

    // Returns the selected index (unchanged when `index` is outside the entries).
    int SelectEntry(int index);
    int GetSelected() const { return m_selected; }
    std::uintptr_t GetItemData(int entry) const;
    bool SetItemData(int entry, std::uintptr_t data);
    bool GetCheck(int entry) const;
    bool SetCheck(int entry, bool checked);
    bool SetEntryHeight(int index, int height);
    bool SetEntryValue(int index, int value);
    bool SetSubItemStyle(int entry, int sub, int style);
    bool SetSubItemTooltip(int entry, int sub, std::string_view text);
    bool SetSubItemLink(int entry, int sub, std::string_view target);
    bool SetSubItemHandArea(int entry, int sub, bool on);
    bool SetSubItemValues(int entry, int sub, int value1, int value2);

    // Look.
    void SetEntriesPerRow(int n);
    void SetSelectionEnabled(bool on) { m_selectionEnabled = on; }
    void SetCheckBoxes(bool on);
    void SetMargins(int left, int top, int right, int bottom);
    void SetHeader(int height, COLORREF top, COLORREF bottom, COLORREF text);
    void SetGridLineColor(COLORREF color);
    void SetColors(COLORREF text, COLORREF back, COLORREF selection, COLORREF hover);
    void SetBorderColors(COLORREF outer, COLORREF inner);
    void SetBackgroundImage(QImage image);
    void SetSelectionImage(QImage image) { m_selectionImage = std::move(image); }
    void SetCheckImage(QImage image) { m_checkImage = std::move(image); }  // 4 x 2 sprite
    void SetButtonImage(QImage image, int frames);
    void SetIconStrip(QImage image) { m_icons = std::move(image); }
    void SetScrollBarImage(QImage image);
    void SetScrollBarCell(int width, int height);
    void SetAlwaysShowScrollBar(bool on) { m_alwaysShowBar = on; }

    // Layout and scrolling.
    void RecalcLayout();
    void ResetScroll();
    void DrawAll();
    void LineUp();
    void LineDown();
    void PageUp();
    void PageDown();
    int GetFirstVisibleRow() const { return m_firstRow; }
    int GetVisibleRows() const { return m_visibleRows; }
    int GetTotalRows() const { return m_totalRows; }
    bool IsScrollBarShown() const;
    // The drawing area in client pixels.
    RECT DrawingArea() const;
    const QImage& BackBuffer() const { return m_buffer; }

    // Answers the bar's part-drawing notification from the grid image.
    void PaintScrollPart(QPainter& painter, const NMCSBCUSTOMDRAW& part);
    // Entry and sub-item under a client point; false on a miss.
    bool HitTest(POINT pt, int& entry, int& sub) const;
    // How long the mouse rests before a sub-item's tooltip shows: the tooltip window's own
    // delay while one shows, else 1000 ms.
    int HoverTime() const;
    // Whether a hover is being waited for, and how long it was armed with.
    bool IsHoverArmed() const { return m_hoverTimer->isActive(); }
    int HoverInterval() const { return m_hoverTimer->interval(); }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool event(QEvent* e) override;

  private:
    void Post(UINT msg);
    // 2050 carrying a copy of a link's target.
    void PostLink(const std::string& target);
    void Changed();
    void ScrollTo(int row);
    int MaxFirstRow() const;
    int FullyVisibleRows() const;
    int RowHeight() const;
    RECT ClientArea() const;
    void DrawEntry(QPainter& p, int index, const RECT& cell);
    // Draws marked-up text in `box`; collects link boxes and targets into `sub`.
    void DrawSubItemText(QPainter& p, CListSubItem& sub, const RECT& box);
    void OnScrollRequest(int code, int pos);

    int m_id = 0;
    std::vector<CListEntry> m_entries;
    std::vector<CListColumn> m_columns;
    int m_selected = -1;
    int m_perRow = 1;
    int m_visibleRows = 0;
    int m_totalRows = 0;
    int m_firstRow = 0;
    bool m_selectionEnabled = true;
    bool m_checkBoxes = false;
    bool m_alwaysShowBar = false;
    RECT m_margins{2, 2, 2, 2};
    int m_headerHeight = 0;
    COLORREF m_headerTop = 0x5D2742;
    COLORREF m_headerBottom = 0x3A1C2E;
    COLORREF m_headerText = 0xFFE6DD;
    COLORREF m_gridColor = kNoColor;
    COLORREF m_textColor;
    COLORREF m_backColor;
    COLORREF m_selectionColor;
    COLORREF m_hoverColor;
    COLORREF m_borderOuter = kNoColor;
    COLORREF m_borderInner = kNoColor;
    QFont m_font;
    QFont m_underlined;
    QFont m_bold;
    QImage m_background;
    QImage m_selectionImage;
    QImage m_checkImage;
    QImage m_buttonImage;
    int m_buttonFrames = 1;
    QImage m_icons;
    QImage m_grid;
    QImage m_buffer;
    QTimer* m_hoverTimer;  // owned by the widget
    void OnHover();
    // Whether the back buffer has the list's size at the screen's pixel ratio.
    bool BufferFits() const;
    int m_cellWidth = 15;
    int m_cellHeight = 16;
    POINT m_mouse{-1, -1};
    int m_hover = -1;
    bool m_handDown = false;
};

}  // namespace vm
