// The owner-drawn list, driven by the mouse and keys, with what it posts to its window.

#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <variant>

#include "SkinTestSupport.h"
#include "skin/CWndListCtrl.h"

namespace vm::test {
namespace {

// A window that keeps what the list posts to it.
struct ListWindow : TestWindow {
    struct Posted {
        UINT msg;
        WPARAM wParam;
        std::string text;
    };
    ListWindow() {
        Open(300, 200);
        root->SetPos(0, 0, 300, 200);
        Window()->show();
        list = new CWndListCtrl(Window());
        list->Create(RECT{10, 10, 210, 110}, 2100);
    }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg >= WM_LIST_SELCHANGED && msg <= WM_LIST_BUTTONUP) {
            std::string text;
            if (Payload* p = Window()->CurrentPayload()) {
                if (auto* s = std::get_if<std::string>(p)) text = *s;
            }
            posted.push_back({msg, wParam, text});
            return 0;
        }
        return TestWindow::HandleMessage(msg, wParam, lParam);
    }
    void Deliver() { QCoreApplication::sendPostedEvents(Window()); }
    int Count(UINT msg) const {
        int n = 0;
        for (const Posted& p : posted) n += p.msg == msg;
        return n;
    }
    CWndListCtrl* list = nullptr;
    std::vector<Posted> posted;
};

void Fill(CWndListCtrl* list, int n) {
    for (int i = 0; i < n; ++i)
        list->SetSubItem(list->GetEntryCount(), 0, "插件" + std::to_string(i));
}

TEST(List, DeletingMovesTheSelectionToANeighbour) {
    ListWindow win;
    Fill(win.list, 4);
    EXPECT_EQ(win.list->SelectEntry(0), 0);
    EXPECT_TRUE(win.list->DeleteEntry(0));
    EXPECT_EQ(win.list->GetSelected(), 0);
    EXPECT_EQ(win.list->GetSubItemText(0, 0), "插件1");
    EXPECT_TRUE(win.list->GetEntry(0)->selected);
    win.list->SelectEntry(2);
    EXPECT_TRUE(win.list->DeleteEntry(2));  // the last of several
    EXPECT_EQ(win.list->GetSelected(), 1);
    EXPECT_FALSE(win.list->DeleteEntry(2));
    EXPECT_EQ(win.list->GetEntryCount(), 2);
}

TEST(List, SelectionOutsideTheEntriesIsRefused) {
    ListWindow win;
    Fill(win.list, 3);
    win.list->SelectEntry(1);
    win.Deliver();
    win.posted.clear();
    EXPECT_EQ(win.list->SelectEntry(3), 1);
    EXPECT_EQ(win.list->SelectEntry(-1), 1);
    EXPECT_EQ(win.list->SelectEntry(1), 1);  // already selected: nothing is posted
    win.Deliver();
    EXPECT_TRUE(win.posted.empty());
    EXPECT_EQ(win.list->GetSubItem(0, 5), nullptr);
    EXPECT_EQ(win.list->GetColumnText(4), "");
}

TEST(List, TheBarAppearsOnlyWhenRowsDoNotFit) {
    ListWindow win;
    Fill(win.list, 3);  // 3 x 20 in a 96-pixel drawing area
    EXPECT_FALSE(win.list->IsScrollBarShown());
    Fill(win.list, 5);
    EXPECT_TRUE(win.list->IsScrollBarShown());
    SCROLLINFO si;
    ASSERT_TRUE(GetScrollInfo(win.list, SB_VERT, si));
    EXPECT_EQ(si.nMax, 7);
    EXPECT_EQ(si.nPage, 4u);
    win.list->PageDown();  // a page is the visible rows less one: 5 - 1
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 4);
    win.list->LineUp();
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 3);
    win.list->LineDown();
    win.list->LineDown();  // the last row sits at the bottom; no further
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 4);
    EXPECT_EQ(GetScrollPos(win.list, SB_VERT), 4);
    win.list->DeleteAllEntries();
    EXPECT_FALSE(win.list->IsScrollBarShown());
    EXPECT_EQ(win.list->GetSelected(), -1);
}

TEST(List, ClickingALinkPostsItsTarget) {
    ListWindow win;
    win.list->AddColumn(0, "插件", 120);
    win.list->AddColumn(1, "包含文件数目", 80);
    win.list->SetSubItem(0, 0, "<b>Atlas</b> <a>主页</a>");
    win.list->SetSubItemLink(0, 0, "http://atlas.example/");
    win.list->SetSubItem(0, 1, "12");
    win.list->DrawAll();
    const CListSubItem* sub = win.list->GetSubItem(0, 0);
    ASSERT_EQ(sub->links.size(), 1u);
    const RECT link = sub->links[0];
    QTest::mouseClick(win.list, Qt::LeftButton, {},
                      QPoint((link.left + link.right) / 2, (link.top + link.bottom) / 2));
    win.Deliver();
    ASSERT_EQ(win.Count(WM_LIST_CLICKED), 1);
    for (const auto& p : win.posted) {
        EXPECT_EQ(p.wParam, reinterpret_cast<WPARAM>(static_cast<QWidget*>(win.list)));
        if (p.msg == WM_LIST_CLICKED) {
            EXPECT_EQ(p.text, "http://atlas.example/");
        }
    }
    EXPECT_EQ(win.Count(WM_LIST_SELCHANGED), 1);  // the press also selected the entry
    EXPECT_TRUE(win.list->hasFocus() || !win.Window()->isActiveWindow());
}

TEST(List, CheckBoxesToggleAndKeysMoveTheSelection) {
    ListWindow win;
    win.list->SetCheckBoxes(true);
    Fill(win.list, 3);
    const RECT box = win.list->GetEntry(1)->checkRect;
    ASSERT_FALSE(box.IsEmpty());
    QTest::mouseClick(win.list, Qt::LeftButton, {}, QPoint(box.left + 2, box.top + 2));
    win.Deliver();
    EXPECT_TRUE(win.list->GetCheck(1));
    EXPECT_EQ(win.list->GetSelected(), 1);
    QTest::keyClick(win.list, Qt::Key_Down);
    EXPECT_EQ(win.list->GetSelected(), 2);
    QTest::keyClick(win.list, Qt::Key_Down);  // nothing below the last
    EXPECT_EQ(win.list->GetSelected(), 2);
}

TEST(List, RightPressDoubleClickHandAreaAndWheel) {
    ListWindow win;
    Fill(win.list, 12);
    win.list->SetSubItemHandArea(0, 0, true);
    win.list->SelectEntry(3);
    win.Deliver();
    win.posted.clear();
    QTest::mouseClick(win.list, Qt::RightButton, {}, QPoint(50, 30));  // entry 1
    win.Deliver();
    ASSERT_GE(win.posted.size(), 2u);
    EXPECT_EQ(win.posted[0].msg, WM_LIST_RCLICKED);  // before the selection moves
    EXPECT_EQ(win.posted[1].msg, WM_LIST_SELCHANGED);
    EXPECT_EQ(win.list->GetSelected(), 1);
    win.posted.clear();
    QTest::mouseDClick(win.list, Qt::LeftButton, {}, QPoint(50, 30));
    win.Deliver();
    EXPECT_EQ(win.Count(WM_LIST_DBLCLICKED), 1);
    win.posted.clear();
    QTest::mouseClick(win.list, Qt::LeftButton, {}, QPoint(50, 10));  // inside entry 0's area
    win.Deliver();
    EXPECT_EQ(win.Count(WM_LIST_BUTTONUP), 1);
    QWheelEvent down(QPointF(50, 50), win.list->mapToGlobal(QPointF(50, 50)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(win.list, &down);
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 1);
}

TEST(List, TheBarShowsOnceTheRowsReachTheVisibleCount) {
    ListWindow win;
    // Rows of 24 in the 96-pixel drawing area: four rows fill it exactly.
    Fill(win.list, 3);
    for (int i = 0; i < 3; ++i) win.list->SetEntryHeight(i, 24);
    EXPECT_EQ(win.list->GetVisibleRows(), 4);
    EXPECT_FALSE(win.list->IsScrollBarShown());
    Fill(win.list, 1);
    win.list->SetEntryHeight(3, 24);
    EXPECT_TRUE(win.list->IsScrollBarShown());
}

TEST(List, APressOnAPartVisibleBottomRowActsOnWhatWasShown) {
    ListWindow win;
    win.list->SetCheckBoxes(true);
    win.list->AddColumn(0, "插件", 190);
    Fill(win.list, 8);  // rows of 20 in 96 pixels: the fifth row shows its top 16
    win.list->SetSubItem(4, 0, " <a>主页</a>");
    win.list->SetSubItemLink(4, 0, "http://five.example/");
    win.list->DrawAll();
    ASSERT_EQ(win.list->GetVisibleRows(), 5);
    const RECT area = win.list->DrawingArea();
    const RECT box = win.list->GetEntry(4)->checkRect;
    ASSERT_FALSE(box.IsEmpty());
    ASSERT_LT(box.top, area.bottom);
    QTest::mouseClick(win.list, Qt::LeftButton, {}, QPoint(box.left + 2, box.top + 2));
    win.Deliver();
    EXPECT_TRUE(win.list->GetCheck(4));  // toggled, not scrolled
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 0);
    EXPECT_EQ(win.list->GetSelected(), 4);

    // The link on that row is followed the same way.
    win.list->SelectEntry(0);
    win.Deliver();
    win.posted.clear();
    const CListSubItem* sub = win.list->GetSubItem(4, 0);
    ASSERT_EQ(sub->links.size(), 1u);
    const RECT link = sub->links[0];
    QTest::mouseClick(win.list, Qt::LeftButton, {}, QPoint(link.left + 2, link.top + 2));
    win.Deliver();
    std::string target;
    for (const auto& p : win.posted)
        if (p.msg == WM_LIST_CLICKED) target = p.text;
    EXPECT_EQ(target, "http://five.example/");
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 0);

    // Keys bring the row fully into view: one above the bottom.
    QTest::keyClick(win.list, Qt::Key_Down);
    EXPECT_EQ(win.list->GetSelected(), 5);
    EXPECT_EQ(win.list->GetFirstVisibleRow(), 2);
}

TEST(List, TheTooltipWaitsForTheHoverTime) {
    ListWindow win;
    Fill(win.list, 3);
    win.list->SetSubItemTooltip(1, 0, "插件一的说明");
    EXPECT_EQ(win.list->HoverTime(), 1000);
    EXPECT_FALSE(win.list->IsHoverArmed());
    QTest::mouseMove(win.list, QPoint(50, 30));
    EXPECT_TRUE(win.list->IsHoverArmed());
    EXPECT_EQ(win.list->HoverInterval(), 1000);
    // Qt's own tooltip request shows nothing: the hover decides.
    QHelpEvent help(QEvent::ToolTip, QPoint(50, 30), win.list->mapToGlobal(QPoint(50, 30)));
    QCoreApplication::sendEvent(win.list, &help);
    EXPECT_FALSE(QToolTip::isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 10000);
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8("插件一的说明"));
    // While it shows, the tooltip window's own delay is the hover time.
    const int wake =
        win.list->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, win.list);
    EXPECT_EQ(win.list->HoverTime(), wake);
    QTest::mouseMove(win.list, QPoint(60, 30));
    EXPECT_EQ(win.list->HoverInterval(), wake);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(win.list, &leave);
    EXPECT_FALSE(win.list->IsHoverArmed());
    QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible(), 10000);
}

TEST(List, GridLinesAndSelectionArePainted) {
    ListWindow win;
    win.list->SetColors(RGB(200, 200, 200), RGB(0, 0, 0), RGB(0, 0, 255), kNoColor);
    win.list->SetGridLineColor(RGB(0, 255, 0));
    Fill(win.list, 2);
    win.list->SelectEntry(1);
    const QImage& img = win.list->BackBuffer();
    const RECT area = win.list->DrawingArea();
    EXPECT_EQ(PixelAt(img, area.left + 1, area.top + 19), RGB(0, 255, 0));   // under row 0
    EXPECT_EQ(PixelAt(img, area.right - 3, area.top + 25), RGB(0, 0, 255));  // row 1 selected
    EXPECT_EQ(PixelAt(img, area.right - 3, area.top + 5), RGB(0, 0, 0));
}

}  // namespace
}  // namespace vm::test
