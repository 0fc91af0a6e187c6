#include "skin/CWndListCtrl.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "skin/CDC.h"
#include "skin/CUIVScrollBar.h"
#include "skin/NativeWindow.h"
#include "skin/UIRender.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

QColor Q(COLORREF c) {
    return ToQColor(c);
}

bool ParseHexColor(std::string_view v, COLORREF& out) {
    if (v.size() != 7 || v[0] != '#') return false;
    unsigned value = 0;
    for (char ch : v.substr(1)) {
        value <<= 4;
        if (ch >= '0' && ch <= '9') {
            value |= static_cast<unsigned>(ch - '0');
        } else if (ch >= 'a' && ch <= 'f') {
            value |= static_cast<unsigned>(ch - 'a' + 10);
        } else if (ch >= 'A' && ch <= 'F') {
            value |= static_cast<unsigned>(ch - 'A' + 10);
        } else {
            return false;
        }
    }
    out = RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    return true;
}

}  // namespace

CWndListCtrl::CWndListCtrl(QWidget* parent)
    : QWidget(parent),
      m_textColor(UITheme::Get().Color(34)),
      m_backColor(UITheme::Get().Color(30)),
      m_selectionColor(RGB(105, 62, 133)),
      m_hoverColor(RGB(78, 46, 104)),
      m_hoverTimer(new QTimer(this)) {
    m_hoverTimer->setSingleShot(true);
    connect(m_hoverTimer, &QTimer::timeout, this, [this] { OnHover(); });
    setAttribute(Qt::WA_OpaquePaintEvent);  // the back buffer covers everything
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    if (const QFont* f = UITheme::Get().Font(1)) m_font = *f;
    m_underlined = m_font;
    m_underlined.setUnderline(true);
    m_bold = m_font;
    m_bold.setWeight(QFont::Bold);
    AttachSkinScrollBars(
        this, [this](QPainter& p, const NMCSBCUSTOMDRAW& nm) { PaintScrollPart(p, nm); },
        [this](int bar, int code, int pos) {
            if (bar == SB_VERT) OnScrollRequest(code, pos);
        });
    SetScrollBarStyle(this, SB_VERT, 2);
    SetScrollBarCell(15, 16);
    ShowScrollBar(this, SB_VERT, false);
}

CWndListCtrl::~CWndListCtrl() = default;

void CWndListCtrl::Create(const RECT& rect, int id) {
    m_id = id;
    setGeometry(ToQRect(rect));
    show();
}

void CWndListCtrl::Post(UINT msg) {
    NativeWindow* target = NativeWindow::Containing(parentWidget());
    if (!target) return;
    target->PostMessage(msg, reinterpret_cast<WPARAM>(static_cast<QWidget*>(this)), 0);
}

void CWndListCtrl::PostLink(const std::string& target) {
    NativeWindow* window = NativeWindow::Containing(parentWidget());
    if (!window) return;
    // The window owns the copy: it goes with the message, also when nobody reads it.
    window->PostMessage(WM_LIST_CLICKED, reinterpret_cast<WPARAM>(static_cast<QWidget*>(this)), 0,
                        std::string(target));
}

void CWndListCtrl::Changed() {
    RecalcLayout();
    DrawAll();
}

int CWndListCtrl::AddEntry(std::uintptr_t data) {
    CListEntry e;
    e.data = data;
    m_entries.push_back(std::move(e));
    Changed();
    return GetEntryCount() - 1;
}

bool CWndListCtrl::SetSubItem(int entry, int sub, std::string_view text, int image, COLORREF color,
                              std::uintptr_t extra) {
    if (entry < 0 || entry > GetEntryCount() || sub < 0) return false;
    if (entry == GetEntryCount()) m_entries.emplace_back();
    auto& subs = m_entries[static_cast<std::size_t>(entry)].subItems;
    if (static_cast<int>(subs.size()) <= sub) subs.resize(static_cast<std::size_t>(sub) + 1);
    CListSubItem& s = subs[static_cast<std::size_t>(sub)];
    s.text += text;
    s.image = image;
    s.color = color;
    s.extra = extra;
    Changed();
    return true;
}

CListEntry* CWndListCtrl::GetEntry(int entry) {
    if (entry < 0 || entry >= GetEntryCount()) return nullptr;
    return &m_entries[static_cast<std::size_t>(entry)];
}

CListSubItem* CWndListCtrl::GetSubItem(int entry, int sub) {
    CListEntry* e = GetEntry(entry);
    if (!e || sub < 0 || sub >= static_cast<int>(e->subItems.size())) return nullptr;
    return &e->subItems[static_cast<std::size_t>(sub)];
}

std::string CWndListCtrl::GetSubItemText(int entry, int sub) const {
    auto* self = const_cast<CWndListCtrl*>(this);
    const CListSubItem* s = self->GetSubItem(entry, sub);
    return s ? s->text : std::string();
}

bool CWndListCtrl::DeleteEntry(int index) {
    if (index < 0 || index >= GetEntryCount()) return false;
    m_entries.erase(m_entries.begin() + index);
    for (CListEntry& e : m_entries) e.selected = false;
    m_selected = -1;
    // The one before takes the selection; the new first when the first went.
    const int next = index > 0 ? index - 1 : 0;
    if (next < GetEntryCount()) {
        m_selected = next;
        m_entries[static_cast<std::size_t>(next)].selected = true;
    }
    m_firstRow = std::min(m_firstRow, MaxFirstRow());
    Changed();
    return true;
}

void CWndListCtrl::DeleteAllEntries() {
    m_entries.clear();
    m_selected = -1;
    m_firstRow = 0;
    Changed();
}

int CWndListCtrl::AddColumn(int, std::string_view text, int width, int format) {
    m_columns.push_back(CListColumn{std::string(text), width, format});
    Changed();
    return GetColumnCount();
}

int CWndListCtrl::GetColumnWidth(int col) const {
    return col >= 0 && col < GetColumnCount() ? m_columns[static_cast<std::size_t>(col)].width : 0;
}

int CWndListCtrl::GetColumnFormat(int col) const {
    return col >= 0 && col < GetColumnCount() ? m_columns[static_cast<std::size_t>(col)].format : 0;
}

std::string CWndListCtrl::GetColumnText(int col) const {
    return col >= 0 && col < GetColumnCount() ? m_columns[static_cast<std::size_t>(col)].text
                                              : std::string();
}

int CWndListCtrl::SelectEntry(int index) {
    if (m_selected >= GetEntryCount()) m_selected = -1;
    if (index < 0 || index >= GetEntryCount()) return m_selected;
    if (index == m_selected) return m_selected;
    if (CListEntry* old = GetEntry(m_selected)) old->selected = false;
    m_entries[static_cast<std::size_t>(index)].selected = true;
    m_selected = index;
    RecalcLayout();
    // Keep the selected row in view; a part-visible bottom row is in view, so pressing it does
    // not move the list under the mouse.
    const int row = index / m_perRow;
    const int rows = std::max(1, m_visibleRows);
    if (row >= m_firstRow + rows) m_firstRow = std::max(0, row - rows + 1);
    if (row < m_firstRow) m_firstRow = row;
    RecalcLayout();
    DrawAll();
    Post(WM_LIST_SELCHANGED);
    return m_selected;
}

std::uintptr_t CWndListCtrl::GetItemData(int entry) const {
    return entry >= 0 && entry < GetEntryCount() ? m_entries[static_cast<std::size_t>(entry)].data
                                                 : 0;
}

bool CWndListCtrl::SetItemData(int entry, std::uintptr_t data) {
    CListEntry* e = GetEntry(entry);
    if (!e) return false;
    e->data = data;
    return true;
}

bool CWndListCtrl::GetCheck(int entry) const {
    return entry >= 0 && entry < GetEntryCount() &&
           m_entries[static_cast<std::size_t>(entry)].checked;
}

bool CWndListCtrl::SetCheck(int entry, bool checked) {
    CListEntry* e = GetEntry(entry);
    if (!e) return false;
    e->checked = checked;
    DrawAll();
    return true;
}

bool CWndListCtrl::SetEntryHeight(int index, int height) {
    CListEntry* e = GetEntry(index);
    if (!e || height <= 0) return false;
    e->height = height;
    Changed();
    return true;
}

bool CWndListCtrl::SetEntryValue(int index, int value) {
    CListEntry* e = GetEntry(index);
    if (!e) return false;
    e->value = value;
    Changed();
    return true;
}

bool CWndListCtrl::SetSubItemStyle(int entry, int sub, int style) {
    CListSubItem* s = GetSubItem(entry, sub);
    if (!s) return false;
    s->style = style;
    Changed();
    return true;
}

bool CWndListCtrl::SetSubItemTooltip(int entry, int sub, std::string_view text) {
    CListSubItem* s = GetSubItem(entry, sub);
    if (!s) return false;
    s->tooltip += text;
    return true;
}

bool CWndListCtrl::SetSubItemLink(int entry, int sub, std::string_view target) {
    CListSubItem* s = GetSubItem(entry, sub);
    if (!s) return false;
    s->link += target;
    return true;
}

bool CWndListCtrl::SetSubItemHandArea(int entry, int sub, bool on) {
    CListSubItem* s = GetSubItem(entry, sub);
    if (!s) return false;
    s->handArea = on;
    DrawAll();
    return true;
}

bool CWndListCtrl::SetSubItemValues(int entry, int sub, int value1, int value2) {
    CListSubItem* s = GetSubItem(entry, sub);
    if (!s) return false;
    s->value1 = value1;
    s->value2 = value2;
    return true;
}

void CWndListCtrl::SetEntriesPerRow(int n) {
    m_perRow = std::max(1, n);
    Changed();
}

void CWndListCtrl::SetCheckBoxes(bool on) {
    m_checkBoxes = on;
    DrawAll();
}

void CWndListCtrl::SetMargins(int left, int top, int right, int bottom) {
    m_margins = RECT{left, top, right, bottom};
    Changed();
}

void CWndListCtrl::SetHeader(int height, COLORREF top, COLORREF bottom, COLORREF text) {
    m_headerHeight = std::max(0, height);
    m_headerTop = top;
    m_headerBottom = bottom;
    m_headerText = text;
    Changed();
}

void CWndListCtrl::SetGridLineColor(COLORREF color) {
    m_gridColor = color;
    DrawAll();
}

void CWndListCtrl::SetColors(COLORREF text, COLORREF back, COLORREF selection, COLORREF hover) {
    m_textColor = text;
    m_backColor = back;
    m_selectionColor = selection;
    m_hoverColor = hover;
    DrawAll();
}

void CWndListCtrl::SetBorderColors(COLORREF outer, COLORREF inner) {
    m_borderOuter = outer;
    m_borderInner = inner;
    Changed();
}

void CWndListCtrl::SetBackgroundImage(QImage image) {
    m_background = std::move(image);
    DrawAll();
}

void CWndListCtrl::SetButtonImage(QImage image, int frames) {
    m_buttonImage = std::move(image);
    m_buttonFrames = std::max(1, frames);
}

void CWndListCtrl::SetScrollBarImage(QImage image) {
    m_grid = std::move(image);
    if (QWidget* bar = SkinScrollBarWidget(this, SB_VERT)) bar->update();
}

void CWndListCtrl::SetScrollBarCell(int width, int height) {
    m_cellWidth = width;
    m_cellHeight = height;
    SetScrollBarSize(this, SB_VERT, height, width);
    SetMinThumbSize(this, SB_VERT, height + 4);
}

RECT CWndListCtrl::ClientArea() const {
    RECT rc{0, 0, width(), height()};
    const int borders = (m_borderOuter != kNoColor) + (m_borderInner != kNoColor);
    rc.Deflate(borders, borders, borders, borders);
    return rc;
}

RECT CWndListCtrl::DrawingArea() const {
    RECT rc = ClientArea();
    rc.right -= SkinScrollBarExtent(const_cast<CWndListCtrl*>(this), SB_VERT);
    rc.Deflate(m_margins.left, m_margins.top + m_headerHeight, m_margins.right, m_margins.bottom);
    return rc;
}

int CWndListCtrl::RowHeight() const {
    int h = 0;
    for (const CListEntry& e : m_entries) h = std::max(h, e.height);
    return h > 0 ? h : 20;
}

int CWndListCtrl::FullyVisibleRows() const {
    return std::max(0, DrawingArea().Height()) / RowHeight();
}

int CWndListCtrl::MaxFirstRow() const {
    return std::max(0, m_totalRows - std::max(1, FullyVisibleRows()));
}

bool CWndListCtrl::IsScrollBarShown() const {
    return SkinScrollBarExtent(const_cast<CWndListCtrl*>(this), SB_VERT) > 0;
}

void CWndListCtrl::RecalcLayout() {
    const int rowH = RowHeight();
    m_totalRows = (GetEntryCount() + m_perRow - 1) / m_perRow;
    // The bar shows once the rows reach the visible count (a part-visible bottom row counts);
    // the bar takes width, never height, so the count is the same with or without it.
    const auto visibleRows = [&] {
        return static_cast<int>((std::max(0, DrawingArea().Height()) + rowH - 1) / rowH);
    };
    const bool wasShown = IsScrollBarShown();
    const bool show = m_alwaysShowBar || m_totalRows >= visibleRows();
    if (show != wasShown) {
        ShowScrollBar(this, SB_VERT, show);
        if (!show) EnableScrollBar(this, SB_VERT, ESB_ENABLE_BOTH);
        if (!m_buffer.isNull()) m_buffer = QImage();
    }
    m_visibleRows = visibleRows();
    m_firstRow = std::clamp(m_firstRow, 0, MaxFirstRow());
    if (show) {
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = 0;
        si.nMax = std::max(0, m_totalRows - 1);
        si.nPage = static_cast<UINT>(std::max(1, FullyVisibleRows()));
        si.nPos = m_firstRow;
        SetScrollInfo(this, SB_VERT, si, true);
    }
}

void CWndListCtrl::ResetScroll() {
    m_firstRow = 0;
    RecalcLayout();
}

void CWndListCtrl::ScrollTo(int row) {
    const int clamped = std::clamp(row, 0, MaxFirstRow());
    if (clamped == m_firstRow) return;
    m_firstRow = clamped;
    RecalcLayout();
    DrawAll();
}

void CWndListCtrl::LineUp() {
    ScrollTo(m_firstRow - 1);
}
void CWndListCtrl::LineDown() {
    ScrollTo(m_firstRow + 1);
}
void CWndListCtrl::PageUp() {
    ScrollTo(m_firstRow - std::max(1, m_visibleRows - 1));
}
void CWndListCtrl::PageDown() {
    ScrollTo(m_firstRow + std::max(1, m_visibleRows - 1));
}

void CWndListCtrl::OnScrollRequest(int code, int pos) {
    switch (static_cast<WPARAM>(code)) {
        case SB_LINEUP:
            LineUp();
            break;
        case SB_LINEDOWN:
            LineDown();
            break;
        case SB_PAGEUP:
            PageUp();
            break;
        case SB_PAGEDOWN:
            PageDown();
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            ScrollTo(pos);
            break;
        default:
            break;
    }
}

void CWndListCtrl::PaintScrollPart(QPainter& painter, const NMCSBCUSTOMDRAW& part) {
    DrawScrollPartFromGrid(painter, m_grid.isNull() ? DefaultScrollBarImage() : m_grid, part);
}

bool CWndListCtrl::BufferFits() const {
    const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
    return !m_buffer.isNull() && m_buffer.devicePixelRatio() == ratio &&
           m_buffer.size() == (QSizeF(size()) * ratio).toSize();
}

void CWndListCtrl::DrawAll() {
    if (width() <= 0 || height() <= 0) return;
    // As many pixels as the screen gives the list, so its text stays sharp when scaled up.
    const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
    if (!BufferFits()) {
        m_buffer = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_buffer.setDevicePixelRatio(ratio);
    }
    QPainter p(&m_buffer);
    const QRect all(0, 0, width(), height());
    // Borders first; the client lies inside them.
    int inset = 0;
    for (COLORREF c : {m_borderOuter, m_borderInner}) {
        if (c == kNoColor) continue;
        p.setPen(Q(c));
        p.setBrush(Qt::NoBrush);
        p.drawRect(all.adjusted(inset, inset, -inset - 1, -inset - 1));
        ++inset;
    }
    const RECT client = ClientArea();
    p.fillRect(ToQRect(client), Q(m_backColor));
    const RECT area = DrawingArea();
    if (!m_background.isNull()) p.drawImage(ToQRect(area), m_background);
    if (m_headerHeight > 0) {
        const QRect band(client.left, client.top + m_margins.top, area.Width() + m_margins.left,
                         m_headerHeight);
        QLinearGradient g(band.topLeft(), band.bottomLeft());
        g.setColorAt(0, Q(m_headerTop));
        g.setColorAt(1, Q(m_headerBottom));
        p.fillRect(band, g);
        p.setFont(m_bold);
        p.setPen(Q(m_headerText));
        int x = area.left;
        for (const CListColumn& c : m_columns) {
            const QRect box(x + 5, band.top(), std::max(0, c.width - 10), band.height());
            const int align = c.format == 1   ? Qt::AlignRight
                              : c.format == 2 ? Qt::AlignHCenter
                                              : Qt::AlignLeft;
            p.drawText(box, align | Qt::AlignVCenter | Qt::TextSingleLine,
                       QString::fromStdString(c.text));
            x += c.width;
        }
    }
    p.save();
    p.setClipRect(ToQRect(area));
    const int rowH = RowHeight();
    const int cellW = area.Width() / m_perRow;
    const int first = m_firstRow * m_perRow;
    const int last = std::min(GetEntryCount(), (m_firstRow + m_visibleRows) * m_perRow);
    for (int i = first; i < last; ++i) {
        const int row = i / m_perRow - m_firstRow;
        const int col = i % m_perRow;
        const RECT cell{area.left + col * cellW, area.top + row * rowH,
                        area.left + (col + 1) * cellW,
                        area.top + row * rowH + m_entries[static_cast<std::size_t>(i)].height};
        m_entries[static_cast<std::size_t>(i)].rect = cell;
        DrawEntry(p, i, cell);
    }
    if (m_gridColor != kNoColor) {
        p.setPen(Q(m_gridColor));
        const int rows = std::min(m_visibleRows, m_totalRows - m_firstRow);
        for (int r = 1; r <= rows; ++r) {
            const int y = area.top + r * rowH - 1;
            p.drawLine(area.left, y, area.right - 1, y);
        }
        for (int c = 1; c < m_perRow; ++c) {
            const int x = area.left + c * cellW - 1;
            p.drawLine(x, area.top, x, area.top + rows * rowH - 1);
        }
        // Column lines inside an entry.
        if (m_perRow == 1 && m_columns.size() > 1) {
            int x = area.left;
            for (std::size_t c = 0; c + 1 < m_columns.size(); ++c) {
                x += m_columns[c].width;
                p.drawLine(x - 1, area.top, x - 1, area.top + rows * rowH - 1);
            }
        }
    }
    p.restore();
    update();
}

void CWndListCtrl::DrawEntry(QPainter& p, int index, const RECT& cell) {
    CListEntry& e = m_entries[static_cast<std::size_t>(index)];
    if (e.selected) {
        if (!m_selectionImage.isNull()) {
            CDC dc(p);
            DrawImage9Grid(dc, cell.left, cell.top, cell.right, cell.bottom, 0, 0,
                           m_selectionImage.width(), m_selectionImage.height(), &m_selectionImage,
                           false);
        } else {
            p.fillRect(ToQRect(cell), Q(m_selectionColor));
        }
    } else if (index == m_hover && m_hoverColor != kNoColor) {
        p.fillRect(ToQRect(cell), Q(m_hoverColor));
    }
    int x = cell.left;
    const int subs = static_cast<int>(e.subItems.size());
    const int cols = std::max(1, GetColumnCount());
    e.checkRect = RECT{};
    for (int s = 0; s < std::max(subs, m_checkBoxes ? 1 : 0) && s < cols; ++s) {
        const int w = GetColumnCount() > 0 ? GetColumnWidth(s) : cell.Width();
        RECT box{x, cell.top, std::min(x + w, cell.right), cell.bottom};
        x += w;
        if (s == 0 && m_checkBoxes) {
            const QImage& sprite =
                m_checkImage.isNull() ? UITheme::Get().Image(DefaultImage::CheckBox) : m_checkImage;
            const int cw = sprite.isNull() ? 13 : sprite.width() / 4;
            const int ch = sprite.isNull() ? 13 : sprite.height() / 2;
            const int top = box.top + (box.Height() - ch) / 2;
            e.checkRect = RECT{box.left + 3, top, box.left + 3 + cw, top + ch};
            if (!sprite.isNull()) {
                p.drawImage(ToQRect(e.checkRect), sprite, QRect(0, e.checked ? ch : 0, cw, ch));
            } else {
                p.setPen(Q(m_textColor));
                p.drawRect(ToQRect(e.checkRect).adjusted(0, 0, -1, -1));
            }
            box.left = e.checkRect.right + 4;
        }
        if (s >= subs) continue;
        CListSubItem& sub = e.subItems[static_cast<std::size_t>(s)];
        sub.handRect = RECT{};
        if (sub.handArea && !m_buttonImage.isNull()) {
            const int fw = m_buttonImage.width() / m_buttonFrames;
            const int fh = m_buttonImage.height();
            const int top = box.top + (box.Height() - fh) / 2;
            sub.handRect = RECT{box.right - fw - 4, top, box.right - 4, top + fh};
            const bool hot = sub.handRect.Contains(m_mouse);
            const int frame = std::min(m_buttonFrames - 1, m_handDown && hot ? 2 : hot ? 1 : 0);
            p.drawImage(ToQRect(sub.handRect), m_buttonImage, QRect(frame * fw, 0, fw, fh));
            box.right = sub.handRect.left - 2;
        } else if (sub.handArea) {
            sub.handRect = box;
        }
        RECT textBox = box;
        textBox.Deflate(4, 0, 2, 0);
        DrawSubItemText(p, sub, textBox);
    }
}

void CWndListCtrl::DrawSubItemText(QPainter& p, CListSubItem& sub, const RECT& box) {
    std::vector<RECT> oldLinks = std::move(sub.links);
    sub.links.clear();
    sub.linkTargets.clear();
    const std::string& t = sub.text;
    COLORREF color = sub.color != kNoColor ? sub.color : m_textColor;
    const COLORREF baseColor = color;
    bool bold = false, inLink = false;
    int linkStart = 0;
    std::string linkTarget;
    const QFontMetrics fm(m_font);
    const int lineH = std::max(fm.height(), 16);
    // One line is centred in the box; paragraphs start from its top.
    const bool multi = t.find("<p>") != std::string::npos;
    int y = multi ? box.top + 2 : box.top + (box.Height() - lineH) / 2;
    int x = box.left;
    int indent = 0;
    p.save();
    p.setClipRect(ToQRect(box), Qt::IntersectClip);
    auto font = [&] {
        if (inLink) {
            const int index = static_cast<int>(sub.links.size());
            const bool hover = index < static_cast<int>(oldLinks.size()) &&
                               oldLinks[static_cast<std::size_t>(index)].Contains(m_mouse);
            QFont f = bold ? m_bold : m_font;
            f.setUnderline(hover);
            return f;
        }
        return bold ? m_bold : m_font;
    };
    auto run = [&](const std::string& s) {
        if (s.empty()) return;
        const QString q = QString::fromStdString(s);
        const QFont f = font();
        const QFontMetrics m(f);
        p.setFont(f);
        p.setPen(Q(color));
        p.drawText(x, y + (lineH - m.height()) / 2 + m.ascent(), q);
        x += m.horizontalAdvance(q);
    };
    std::size_t i = 0;
    std::string text;
    while (i < t.size()) {
        if (t[i] != '<') {
            const std::size_t next = t.find('<', i);
            run(t.substr(i, next == std::string::npos ? std::string::npos : next - i));
            i = next == std::string::npos ? t.size() : next;
            continue;
        }
        const std::size_t close = t.find('>', i);
        if (close == std::string::npos) {
            run(t.substr(i));
            break;
        }
        const std::string tag = t.substr(i + 1, close - i - 1);
        i = close + 1;
        const std::size_t sp = tag.find(' ');
        const std::string name = tag.substr(0, sp);
        const std::string arg = sp == std::string::npos ? std::string() : tag.substr(sp + 1);
        if (name == "b") {
            bold = true;
        } else if (name == "/b") {
            bold = false;
        } else if (name == "c") {
            ParseHexColor(arg, color);  // only the hexadecimal form
        } else if (name == "/c") {
            color = baseColor;
        } else if (name == "a") {
            inLink = true;
            linkStart = x;
            linkTarget = arg.empty() ? sub.link : arg;
        } else if (name == "/a") {
            if (inLink) {
                sub.links.push_back(RECT{linkStart, y, x, y + lineH});
                sub.linkTargets.push_back(linkTarget);
            }
            inLink = false;
        } else if (name == "i") {
            const int n = std::atoi(arg.c_str());
            const std::size_t sp2 = arg.find(' ');
            const int m = sp2 == std::string::npos ? 0 : std::atoi(arg.c_str() + sp2 + 1);
            const int cellW = m > 15 ? m : 16;
            if (!m_icons.isNull() && n >= 0) {
                const int side = m_icons.height();
                p.drawImage(QRect(x, y + (lineH - 16) / 2, 16, 16), m_icons,
                            QRect(n * side, 0, side, side));
            }
            x += cellW;
        } else if (name == "p") {
            y += lineH + 5;
            x = box.left;
            indent = 0;
            bold = false;
            color = baseColor;
        } else if (name == "x") {
            indent = std::atoi(arg.c_str());
            if (x < box.left + indent) x = box.left + indent;
        }
    }
    if (inLink) {
        sub.links.push_back(RECT{linkStart, y, x, y + lineH});
        sub.linkTargets.push_back(linkTarget);
    }
    p.restore();
}

bool CWndListCtrl::HitTest(POINT pt, int& entry, int& sub) const {
    const RECT area = DrawingArea();
    if (!area.Contains(pt) || m_perRow <= 0) return false;
    const int rowH = RowHeight();
    const int cellW = std::max(1, area.Width() / m_perRow);
    const int row = m_firstRow + (pt.y - area.top) / rowH;
    const int col = (pt.x - area.left) / cellW;
    if (col >= m_perRow) return false;
    const int index = row * m_perRow + col;
    if (index < 0 || index >= GetEntryCount()) return false;
    entry = index;
    sub = 0;
    int x = area.left + col * cellW;
    for (int c = 0; c < GetColumnCount(); ++c) {
        x += GetColumnWidth(c);
        if (pt.x < x) {
            sub = c;
            return true;
        }
        sub = c;
    }
    return true;
}

void CWndListCtrl::paintEvent(QPaintEvent*) {
    if (!BufferFits()) DrawAll();
    QPainter p(this);
    p.drawImage(0, 0, m_buffer);
}

void CWndListCtrl::resizeEvent(QResizeEvent*) {
    m_buffer = QImage();
    RecalcLayout();
    DrawAll();
}

void CWndListCtrl::mousePressEvent(QMouseEvent* e) {
    const POINT pt{e->position().toPoint().x(), e->position().toPoint().y()};
    setFocus(Qt::MouseFocusReason);
    int entry = -1, sub = 0;
    if (!HitTest(pt, entry, sub)) return;
    if (e->button() == Qt::RightButton) {
        Post(WM_LIST_RCLICKED);
        if (m_selectionEnabled) SelectEntry(entry);
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    // What was pressed is decided on what the player saw, before the selection redraws.
    CListEntry& en = m_entries[static_cast<std::size_t>(entry)];
    const bool onCheck = m_checkBoxes && sub == 0 && en.checkRect.Contains(pt);
    int link = -1;
    bool onHand = false;
    if (const CListSubItem* s = GetSubItem(entry, sub)) {
        for (std::size_t k = 0; k < s->links.size() && link < 0; ++k)
            if (s->links[k].Contains(pt)) link = static_cast<int>(k);
        onHand = s->handArea && s->handRect.Contains(pt);
    }
    if (m_selectionEnabled && entry != m_selected) SelectEntry(entry);
    if (onCheck) {
        en.checked = !en.checked;
        DrawAll();
        Post(WM_LIST_SELCHANGED);
        Post(WM_LIST_CLICKED);
        return;
    }
    if (CListSubItem* s = GetSubItem(entry, sub)) {
        if (link >= 0 && link < static_cast<int>(s->linkTargets.size())) {
            s->clickedLink = link;
            setCursor(Qt::PointingHandCursor);
            PostLink(s->linkTargets[static_cast<std::size_t>(link)]);
            return;
        }
        if (onHand) {
            m_handDown = true;
            setCursor(Qt::PointingHandCursor);
            DrawAll();
        }
    }
    Post(WM_LIST_CLICKED);
}

void CWndListCtrl::mouseReleaseEvent(QMouseEvent* e) {
    const POINT pt{e->position().toPoint().x(), e->position().toPoint().y()};
    const bool wasDown = std::exchange(m_handDown, false);
    int entry = -1, sub = 0;
    if (e->button() == Qt::LeftButton && HitTest(pt, entry, sub)) {
        const CListSubItem* s = GetSubItem(entry, sub);
        if (s && s->handArea && s->handRect.Contains(pt)) Post(WM_LIST_BUTTONUP);
    }
    if (wasDown) DrawAll();
}

void CWndListCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    const POINT pt{e->position().toPoint().x(), e->position().toPoint().y()};
    int entry = -1, sub = 0;
    if (e->button() == Qt::LeftButton && HitTest(pt, entry, sub)) Post(WM_LIST_DBLCLICKED);
}

void CWndListCtrl::mouseMoveEvent(QMouseEvent* e) {
    m_mouse = POINT{e->position().toPoint().x(), e->position().toPoint().y()};
    int entry = -1, sub = 0;
    bool hand = false;
    if (!HitTest(m_mouse, entry, sub)) entry = -1;
    if (entry >= 0) {
        const CListEntry& en = m_entries[static_cast<std::size_t>(entry)];
        if (m_checkBoxes && en.checkRect.Contains(m_mouse)) hand = true;
        if (const CListSubItem* s = GetSubItem(entry, sub)) {
            for (const RECT& r : s->links) hand |= r.Contains(m_mouse);
            if (s->handArea && s->handRect.Contains(m_mouse)) hand = true;
        }
    }
    setCursor(hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_hover = entry;
    // The hover comes once the mouse rests that long; it shows the tooltip of what is under it.
    m_hoverTimer->start(HoverTime());
    DrawAll();
}

int CWndListCtrl::HoverTime() const {
    return QToolTip::isVisible() ? style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this)
                                 : 1000;
}

void CWndListCtrl::OnHover() {
    int entry = -1, sub = 0;
    const CListSubItem* s = HitTest(m_mouse, entry, sub) ? GetSubItem(entry, sub) : nullptr;
    if (s && !s->tooltip.empty()) {
        QToolTip::showText(mapToGlobal(QPoint(m_mouse.x, m_mouse.y)),
                           QString::fromStdString(s->tooltip), this);
    } else {
        QToolTip::hideText();
    }
}

void CWndListCtrl::leaveEvent(QEvent*) {
    m_mouse = POINT{-1, -1};
    m_hover = -1;
    m_hoverTimer->stop();
    QToolTip::hideText();
    DrawAll();
}

void CWndListCtrl::wheelEvent(QWheelEvent* e) {
    const QPoint pt = e->position().toPoint();
    if (!DrawingArea().Contains(POINT{pt.x(), pt.y()})) return;
    if (e->angleDelta().y() > 0) {
        LineUp();
    } else if (e->angleDelta().y() < 0) {
        LineDown();
    }
    e->accept();
}

void CWndListCtrl::keyPressEvent(QKeyEvent* e) {
    if (m_selected < 0) {
        QWidget::keyPressEvent(e);
        return;
    }
    int next = -1;
    switch (e->key()) {
        case Qt::Key_Left:
            next = std::max(0, m_selected - 1);
            break;
        case Qt::Key_Right:
            next = std::min(GetEntryCount() - 1, m_selected + 1);
            break;
        case Qt::Key_Up:
            next = m_selected - m_perRow;
            break;
        case Qt::Key_Down:
            next = m_selected + m_perRow;
            break;
        default:
            QWidget::keyPressEvent(e);
            return;
    }
    if (next >= 0 && next < GetEntryCount() && next != m_selected) {
        SelectEntry(next);
        // The new row one above the bottom, so it is whole even under a part-visible last row.
        m_firstRow = std::clamp(m_selected / m_perRow - m_visibleRows + 2, 0, MaxFirstRow());
        RecalcLayout();
        DrawAll();
    }
    e->accept();
}

bool CWndListCtrl::event(QEvent* e) {
    // Tooltips come from the hover above, on its own time, not from Qt's.
    if (e->type() == QEvent::ToolTip) return true;
    return QWidget::event(e);
}

}  // namespace vm
