// Gallery pictures of the edit fields, the page sheet, the scroll bars, the text viewer and
// the owner-drawn list, each in the states a player meets.

#include "GalleryPartThree.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cstdio>
#include <functional>
#include <vector>

#include "GalleryOutput.h"
#include "res/ResourceIds.h"
#include "skin/CSkinDialog.h"
#include "skin/CSkinEdit.h"
#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUIGroup.h"
#include "skin/CUILabel.h"
#include "skin/CUIPageOption.h"
#include "skin/CUIPageSheet.h"
#include "skin/CUIVScrollBar.h"
#include "skin/CWndListCtrl.h"
#include "skin/IUIChecked.h"
#include "skin/MarkupLayout.h"
#include "skin/ResourceLoader.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

int g_failures = 0;
QString g_dir;

void Save(const QImage& image, const QString& name) {
    g_failures += gallery::SavePicture(image, name);
}

QImage Capture(QWidget* w) {
    return gallery::RenderWindow(w);
}

QImage Png(int number) {
    QImage image;
    if (!LoadPngResource(image, number)) {
        std::fprintf(stderr, "缺少图片 %d\n", number);
        ++g_failures;
    }
    return image;
}

struct Dialog : CSkinDialog {
    void Move(int x, int y) { SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Down(int x, int y) { SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
};

// Captioned tiles on the gallery's dark sheet.
QImage Tiles(const std::vector<std::pair<QString, QImage>>& tiles, int columns) {
    int cw = 0, ch = 0;
    for (const auto& t : tiles) {
        cw = std::max(cw, t.second.width());
        ch = std::max(ch, t.second.height());
    }
    cw += 20;
    ch += 34;
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    QImage sheet(columns * cw + 20, rows * ch + 20, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x1B, 0x0C, 0x2E));
    QPainter p(&sheet);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    p.setFont(font);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int x = 20 + static_cast<int>(i % static_cast<std::size_t>(columns)) * cw;
        const int y = 20 + static_cast<int>(i / static_cast<std::size_t>(columns)) * ch;
        p.setPen(QColor(0xE6, 0xD2, 0xFF));
        p.drawText(QRect(x, y, cw - 20, 16), Qt::AlignLeft | Qt::AlignVCenter, tiles[i].first);
        p.drawImage(x, y + 18, tiles[i].second);
    }
    return sheet;
}

// The colours the settings dialog gives its edit fields.
void SettingsEditTheme() {
    UITheme& t = UITheme::Get();
    t.SetEditBackColor(RGB(102, 65, 121));
    t.SetEditTextColor(RGB(221, 205, 255));
    t.SetDisabledEditBackColor(RGB(88, 70, 102));
    t.SetEditFrameColors(RGB(105, 61, 125), kNoColor);
    t.SetFocusedEditFrameColors(RGB(183, 150, 230), kNoColor);
    t.SetReadOnlyEditFrameColors(RGB(140, 128, 142), kNoColor);
}

void Edits() {
    SettingsEditTheme();
    const char* names[] = {"常态", "获得焦点（输入框）", "禁用", "只读", "密码", "空白"};
    std::vector<std::pair<QString, QImage>> tiles;
    for (int s = 0; s < 6; ++s) {
        Dialog d;
        d.Create(nullptr, "gallery", 260, 50);
        d.Window()->show();
        // A button out of sight takes the focus a new dialog gives its first tab stop.
        if (s != 1) d.CreateButton(9, -100, -100, -10, -10);
        CUIEdit* e = d.CreateEdit(1, 14, 13, 246, 37, s == 5 ? "" : "D:/Games/Tovrin/Tovrin.exe");
        if (s == 2) e->SetEnabled(false);
        if (s == 3) e->SetReadOnly(true);
        if (s == 4) {
            e->SetPassword(true);
            e->SetText("tovrin2008", false);
        }
        if (s == 1) {
            d.Down(60, 25);
            if (auto* w = qobject_cast<QLineEdit*>(e->GetOverlay())) w->insert("插件");
            e->SetSelection(3, 8);
        }
        tiles.emplace_back(QString::fromUtf8(names[s]), Capture(d.Window()));
    }
    Save(Tiles(tiles, 2), "edits.png");
}

CUIPageSheet* MakeSheet(Dialog& d, bool images) {
    auto owned = std::make_unique<CUIPageSheet>();
    CUIPageSheet* sheet = owned.get();
    d.AddControl(std::move(owned));
    sheet->SetId(1002);
    sheet->SetPos(20, 20, 470, 250);
    if (images) {
        sheet->SetTabImage(Png(res::IDP_TAB));
        sheet->SetFrameImage(Png(res::IDP_PAGE_FRAME));
    } else {
        sheet->SetFrameColors(RGB(105, 62, 133), RGB(66, 39, 93));
        sheet->SetBackColor(RGB(116, 84, 156));
    }
    sheet->SetTabOffset(5);
    if (images) {
        sheet->SetTabTextColors(RGB(221, 205, 255), RGB(255, 255, 255), RGB(255, 255, 255),
                                RGB(160, 150, 170));
    }
    const char* titles[] = {"更新选项", "游戏位置", "杂项", "高级"};
    for (int i = 0; i < 4; ++i) sheet->AddPage(i, titles[i]);
    sheet->GetPage(3)->SetEnabled(false);
    CUIPageOption* page = sheet->GetPage(0);
    CUIGroup* g = page->CreateGroup(1003, 35, 75, 440, 200, "<c #CE7CCD>选项");
    g->SetBackColor(RGB(100, 72, 140));
    CUIButton* b = page->CreateButton(1004, 50, 100, 200, 122, "运行时自动更新");
    b->SetCheckMode(UICHECK_CHECKBOX);
    b->SetCheck(true);
    CUILabel* l =
        page->CreateLabel(1005, 65, 124, 420, 160, "当Velmora启动时自动检测插件的更新状态。");
    l->SetTextColor(RGB(165, 148, 198));
    l->SetTextStyle(DT_WORDBREAK);
    page->CreateEdit(1018, 65, 165, 420, 189, "D:/Games/Tovrin/Tovrin.exe");
    return sheet;
}

void PageSheets() {
    SettingsEditTheme();
    for (bool images : {true, false}) {
        Dialog d;
        d.Create(nullptr, "设置", 490, 270);
        d.SetRoundCorner(6);
        d.Window()->show();
        CUIPageSheet* sheet = MakeSheet(d, images);
        d.SendMessage(WM_PAINT);
        // Tab 1 hot under the mouse, tab 0 selected, tab 3 disabled.
        const auto& tabs = sheet->GetTabBoxes();
        if (tabs.size() > 1) d.Move((tabs[1].left + tabs[1].right) / 2, tabs[1].top + 8);
        Save(Capture(d.Window()), images ? "pagesheet-images.png" : "pagesheet-drawn.png");
    }
}

void ScrolledContainer() {
    Dialog d;
    d.Create(nullptr, "gallery", 260, 160);
    d.Window()->show();
    // Laid out only once its labels are in, so they are part of its design.
    auto owned = std::make_unique<CDialogLayoutUI>();
    CDialogLayoutUI* box = owned.get();
    d.AddControl(std::move(owned));
    box->SetBackColor(RGB(100, 72, 140));
    box->EnableScrollBar(true);
    // Rows of 26 in a box of five rows, scrolled by whole rows: every row shows whole.
    for (int i = 0; i < 12; ++i) {
        CUILabel* l = box->AddNew<CUILabel>();
        l->SetPos(14, i * 26, 220, 26 + i * 26);
        l->SetText("<c #E6D7FF>第" + std::to_string(i + 1) + "项：插件目录 Interface/AddOns");
    }
    box->SetPos(10, 10, 250, 140);
    box->SetScrollPos(3 * 26);
    d.SendMessage(WM_PAINT);
    Save(Capture(d.Window()), "container-scrolled.png");
    // The bar alone, in each state of its parts.
    std::vector<std::pair<QString, QImage>> tiles;
    const char* names[] = {"常态", "悬停滑块", "按住下箭头", "整页（不能移动）"};
    for (int s = 0; s < 4; ++s) {
        Dialog b;
        b.Create(nullptr, "bar", 110, 170);
        b.Window()->show();
        auto bar = std::make_unique<CUIVScrollBar>();
        CUIVScrollBar* raw = bar.get();
        b.AddControl(std::move(bar));
        raw->SetPos(47, 5, 62, 165);
        raw->SetRange(0, 100);
        raw->SetPage(s == 3 ? 100 : 25);
        raw->SetLine(5);
        raw->SetScrollPos(30);
        raw->SetImage(Png(res::IDP_SCROLLBAR));
        b.SendMessage(WM_PAINT);
        const RECT th = raw->GetPartRect(CUIVScrollBar::Thumb);
        if (s == 1) b.Move(54, (th.top + th.bottom) / 2);
        if (s == 2) b.Down(54, 160);
        tiles.emplace_back(QString::fromUtf8(names[s]), Capture(b.Window()));
    }
    Save(Tiles(tiles, 4), "scrollbar-states.png");
}

void TextViewer() {
    Dialog d;
    d.Create(nullptr, "更新日志", 600, 400);
    d.SetRoundCorner(5);
    d.Window()->show();
    CUILabel* title = d.CreateLabel(1001, 14, 9, 542, 29, "<f UIFONT_TITLE>更新日志");
    title->SetTextColor(RGB(253, 230, 249));
    CUILabel* sep = d.CreateLabel(1002, 6, 352, 594, 354);
    sep->SetImage(Png(res::IDP_SEPARATOR));
    sep->SetImageSize(588, 2);
    CUIButton* close = d.CreateButton(1003, 263, 360, 337, 384, "<c #DDCDFF>关闭");
    close->SetImage(CSkinDialog::GetButtonFaceImage());
    auto* edit = new CSkinEdit(d.Window());
    edit->SetColors(RGB(165, 148, 198), RGB(56, 29, 90));
    edit->SetScrollBarImage(Png(res::IDP_SCROLLBAR));
    edit->setGeometry(6, 35, 588, 310);
    std::string text;
    for (int v = 19; v >= 1; --v) {
        text += "版本 1.0" + std::to_string(10 + v) + "\n";
        text += "  · 修正了断点续传在镜像服务器切换后偶尔失败的问题。\n";
        text +=
            "  · 不明插件的处理方式可以在“设置 - 杂项”中选择，隔离的文件放在 "
            "Interface.obsoleted 文件夹。\n";
        text += "  · 改进了校验码缓存，启动时扫描插件目录更快。\n\n";
    }
    edit->SetText(text);
    edit->show();
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum() / 2);
    Save(Capture(d.Window()), "textviewer.png");
}

void List() {
    Dialog d;
    d.Create(nullptr, "不明插件", 400, 200);
    d.Window()->show();
    auto* list = new CWndListCtrl(d.Window());
    list->SetColors(RGB(221, 205, 255), RGB(56, 29, 90), RGB(105, 62, 133), RGB(74, 44, 104));
    list->SetHeader(22, RGB(138, 106, 178), RGB(92, 62, 132), RGB(253, 230, 249));
    list->SetBorderColors(RGB(42, 21, 72), RGB(105, 62, 133));
    list->SetGridLineColor(RGB(82, 52, 116));
    list->SetCheckBoxes(true);
    list->SetScrollBarImage(Png(res::IDP_SCROLLBAR));
    list->Create(RECT{10, 10, 390, 190}, 2100);
    list->AddColumn(0, "插件", 250);
    list->AddColumn(1, "包含文件数目", 100, 2);
    const char* addons[] = {"Atlas", "Recount", "DBM-Core",   "Bagnon",   "QuestHelper",
                            "Titan", "Omen",    "Auctioneer", "Gatherer", "其它"};
    for (int i = 0; i < 10; ++i) {
        list->SetSubItem(
            i, 0,
            i == 2 ? std::string("<b>") + addons[i] + "</b> <a>说明</a>" : std::string(addons[i]));
        list->SetSubItem(i, 1, std::to_string(3 + i * 7));
        if (i == 2) list->SetSubItemLink(i, 0, "http://addons.example/dbm");
        list->SetCheck(i, i % 3 != 1);
    }
    list->SelectEntry(1);
    // The mouse over the link: underlined, with the hand.
    if (const CListSubItem* sub = list->GetSubItem(2, 0); sub && !sub->links.empty()) {
        const RECT& r = sub->links[0];
        const QPointF at((r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, list->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(list, &move);
    }
    Save(Capture(d.Window()), "list.png");
}

}  // namespace

int GalleryPartThree(const QString& outDir) {
    g_dir = outDir;
    g_failures = 0;
    Edits();
    PageSheets();
    ScrolledContainer();
    TextViewer();
    List();
    return g_failures;
}

}  // namespace vm
