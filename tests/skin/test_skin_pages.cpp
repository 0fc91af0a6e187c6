// The page sheet and the windowless scroll bar, driven through the window's messages and
// real key presses.

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>

#include "SkinTestSupport.h"
#include "skin/CSkinDialog.h"
#include "skin/CUIButton.h"
#include "skin/CUIContainer.h"
#include "skin/CUIEdit.h"
#include "skin/CUIGroup.h"
#include "skin/CUIPageOption.h"
#include "skin/CUIPageSheet.h"
#include "skin/CUIVScrollBar.h"
#include "skin/MarkupText.h"

namespace vm::test {
namespace {

struct EditWindow : TestWindow {
    EditWindow() {
        Open(300, 200);
        root->SetPos(0, 0, 300, 200);
        Window()->show();
    }
    template <typename T>
    T* Add(int id, RECT r) {
        auto* c = root->AddNew<T>();
        c->SetId(id);
        c->SetName(std::to_string(id));
        c->SetPos(r);
        return c;
    }
    void Notify(UINotify& n) override {
        TestWindow::Notify(n);
        if (n.code == UINotifyCode::TextChanged) changes.push_back(n.sender->GetText());
    }
    int Count(UINotifyCode code) const {
        int c = 0;
        for (const UINotify& n : notes) c += n.code == code;
        return c;
    }
    void Down(int x, int y) { SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void Up(int x, int y) { SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
    std::vector<std::string> changes;
};

struct SheetWindow : EditWindow {
    SheetWindow() {
        auto owned = std::make_unique<CUIPageSheet>();
        sheet = owned.get();
        root->Add(std::move(owned));
        sheet->SetId(7);
        sheet->SetName("7");
        sheet->SetPos(10, 10, 290, 190);
        for (int i = 0; i < 3; ++i) pages.push_back(sheet->AddPage(i, "页" + std::to_string(i)));
        Paint();
        notes.clear();
    }
    CUIPageSheet* sheet = nullptr;
    std::vector<CUIPageOption*> pages;
};

TEST(PageSheet, PagesAreNumberedAfterTheSheet) {
    SheetWindow win;
    CUIPageOption* page = win.sheet->AddPage(3, "第四页");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetId(), 73);
    EXPECT_EQ(page->GetName(), "73");
    EXPECT_STREQ(page->GetClass(), "CUIPageOption");
    EXPECT_STREQ(win.sheet->GetClass(), "TabFolderUI");
    EXPECT_EQ(win.manager.FindControl(73), page);
    EXPECT_FALSE(page->IsVisible());
    EXPECT_EQ(win.sheet->GetCurSel(), 0);
    EXPECT_TRUE(win.pages[0]->IsVisible());
}

TEST(PageSheet, SelectingTheSelectedPageOnlyClicks) {
    SheetWindow win;
    EXPECT_TRUE(win.sheet->SelectItem(0));
    EXPECT_EQ(win.Count(UINotifyCode::Click), 1);
    EXPECT_EQ(win.Count(UINotifyCode::SelectChanged), 0);

    EXPECT_TRUE(win.sheet->SelectItem(2));
    ASSERT_GE(win.notes.size(), 3u);
    EXPECT_EQ(win.notes[1].code, UINotifyCode::Click);  // Click comes first
    EXPECT_EQ(win.Count(UINotifyCode::SelectChanged), 1);
    EXPECT_TRUE(win.pages[2]->IsVisible());
    EXPECT_FALSE(win.pages[0]->IsVisible());
    EXPECT_FALSE(win.sheet->SelectItem(3));
    EXPECT_EQ(win.sheet->GetCurSel(), 2);
}

TEST(PageSheet, AltPageKeysWalkThePagesAndStopAtTheEnds) {
    SheetWindow win;
    win.sheet->SetFocus();
    QTest::keyClick(win.Window(), Qt::Key_PageDown, Qt::AltModifier);
    EXPECT_EQ(win.sheet->GetCurSel(), 1);
    win.sheet->SetFocus();
    QTest::keyClick(win.Window(), Qt::Key_PageDown, Qt::AltModifier);
    EXPECT_EQ(win.sheet->GetCurSel(), 2);
    win.notes.clear();
    win.sheet->SetFocus();
    QTest::keyClick(win.Window(), Qt::Key_PageDown, Qt::AltModifier);
    EXPECT_EQ(win.sheet->GetCurSel(), 2);
    EXPECT_EQ(win.Count(UINotifyCode::SelectChanged), 0);
    win.sheet->SetFocus();
    QTest::keyClick(win.Window(), Qt::Key_PageUp, Qt::AltModifier);
    EXPECT_EQ(win.sheet->GetCurSel(), 1);
}

TEST(PageSheet, ClickOnATabSelectsItsPage) {
    SheetWindow win;
    const std::vector<RECT>& tabs = win.sheet->GetTabBoxes();
    ASSERT_EQ(tabs.size(), 3u);
    EXPECT_LT(tabs[0].right, tabs[1].left);
    const RECT t = tabs[1];
    win.Down((t.left + t.right) / 2, (t.top + t.bottom) / 2);
    EXPECT_EQ(win.sheet->GetCurSel(), 1);
    // The page area lies inside the frame, under the tabs.
    EXPECT_GE(win.sheet->GetPageRect().top, t.bottom);
}

TEST(PageSheet, ADisabledTabDrawsNothingAndCannotBeClicked) {
    SheetWindow win;
    win.pages[1]->SetEnabled(false);
    std::vector<std::string> drawn;
    SetMarkupTextObserver([&](const MarkupTextRecord& r) { drawn.push_back(r.text); });
    win.sheet->Invalidate();
    win.Paint();
    SetMarkupTextObserver({});
    const std::vector<RECT>& tabs = win.sheet->GetTabBoxes();
    ASSERT_EQ(tabs.size(), 3u);
    EXPECT_TRUE(tabs[1].IsEmpty());
    EXPECT_EQ(tabs[1].left, tabs[0].right + 2);
    EXPECT_EQ(tabs[2].left, tabs[1].right + 2);  // the next tab follows the empty box
    // Neither a face nor a caption: only the other tabs' texts are drawn.
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "页0"), drawn.end());
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "页2"), drawn.end());
    EXPECT_EQ(std::find(drawn.begin(), drawn.end(), "页1"), drawn.end());
    win.Down(tabs[1].left + 1, (tabs[0].top + tabs[0].bottom) / 2);
    EXPECT_EQ(win.sheet->GetCurSel(), 0);
}

TEST(PageSheet, FactoriesPutControlsIntoTheirGroup) {
    SheetWindow win;
    CUIPageOption* page = win.pages[0];
    CUIGroup* group = page->CreateGroup(1003, 35, 87, 250, 180, "选项");
    CUIControl* inside = page->CreateButton(1004, 50, 112, 156, 134, "运行时自动更新");
    CUIControl* outside = page->CreateEdit(1018, 20, 150, 280, 170, "路径");
    EXPECT_EQ(inside->GetParent(), static_cast<CUIControl*>(group));
    EXPECT_EQ(outside->GetParent(), static_cast<CUIControl*>(page));
    EXPECT_EQ(win.manager.FindControl(1004), inside);
}

TEST(PageSheet, DialogFactoryPutsTheSheetIntoTheRoot) {
    TestApp();
    CSkinDialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "设置", 490, 430));
    CUIPageSheet* sheet = dlg.CreatePageSheet(1002, 20, 54, 470, 362);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->GetParent(), static_cast<CUIControl*>(dlg.Root()));
    EXPECT_EQ(dlg.FindControl(1002), sheet);
    EXPECT_EQ(sheet->AddPage(2, "杂项")->GetId(), 10022);
    EXPECT_GT(sheet->GetFrameRect().top, 54);
}

struct BarWindow : EditWindow {
    CUIVScrollBar* bar = nullptr;
    BarWindow(int lo, int hi, int page) {
        bar = Add<CUIVScrollBar>(1, RECT{100, 20, 115, 180});
        bar->SetRange(lo, hi);
        bar->SetPage(page);
        bar->SetLine(5);
        Paint();
    }
};

TEST(ScrollBar, AFullPageFillsTheTrackAndCannotMove) {
    BarWindow win(0, 100, 100);
    CUIVScrollBar* bar = win.bar;
    const RECT thumb = bar->GetPartRect(CUIVScrollBar::Thumb);
    EXPECT_EQ(thumb.top, bar->GetPartRect(CUIVScrollBar::UpArrow).bottom);
    EXPECT_EQ(thumb.bottom, bar->GetPartRect(CUIVScrollBar::DownArrow).top);
    bar->SetScrollPos(50);
    EXPECT_EQ(bar->GetScrollPos(), 0);
    const RECT down = bar->GetPartRect(CUIVScrollBar::DownArrow);
    win.Down(107, down.top + 2);
    win.Up(107, down.top + 2);
    EXPECT_EQ(bar->GetScrollPos(), 0);
    EXPECT_EQ(win.Count(UINotifyCode::Scroll), 0);
}

TEST(ScrollBar, HeldArrowStepsOnceThenOnEveryRepeatTick) {
    BarWindow win(0, 100, 20);
    CUIVScrollBar* bar = win.bar;
    const RECT down = bar->GetPartRect(CUIVScrollBar::DownArrow);
    ASSERT_EQ(down.bottom, 180) << down.top;
    ASSERT_EQ(bar->GetPos().left, 100);
    win.Down(107, down.top + 2);
    EXPECT_EQ(win.manager.FindControlAt(POINT{107, down.top + 2}), bar);
    EXPECT_EQ(bar->GetScrollPos(), 5);
    const std::uintptr_t timer = win.manager.LastTimerId();
    ASSERT_NE(timer, 0u);
    win.SendMessage(WM_TIMER, timer);
    EXPECT_EQ(bar->GetScrollPos(), 10);
    win.SendMessage(WM_TIMER, timer);
    EXPECT_EQ(bar->GetScrollPos(), 15);
    win.Up(107, down.top + 2);
    win.SendMessage(WM_TIMER, timer);  // the timer is gone after the release
    EXPECT_EQ(bar->GetScrollPos(), 15);
    EXPECT_EQ(win.Count(UINotifyCode::Scroll), 3);
    EXPECT_EQ(CUIVScrollBar::kRepeatMs, 500u);
}

TEST(ScrollBar, ThumbDragAndWheelMoveByWholeLines) {
    BarWindow win(0, 100, 20);
    CUIVScrollBar* bar = win.bar;
    const RECT thumb = bar->GetPartRect(CUIVScrollBar::Thumb);
    const int y = (thumb.top + thumb.bottom) / 2;
    win.Down(107, y);
    win.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(107, 179));
    EXPECT_EQ(bar->GetScrollPos(), 80);
    win.Up(107, 179);
    bar->SetFocus();
    win.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(107, 100));
    EXPECT_EQ(bar->GetScrollPos(), 75);
}

TEST(ScrollBar, TheThumbKeepsItsMarginFromTheArrows) {
    BarWindow win(0, 100, 20);
    CUIVScrollBar* bar = win.bar;
    const RECT up = bar->GetPartRect(CUIVScrollBar::UpArrow);
    const RECT down = bar->GetPartRect(CUIVScrollBar::DownArrow);
    EXPECT_EQ(bar->GetPartRect(CUIVScrollBar::Thumb).top, up.bottom + 3);
    bar->SetScrollPos(80);
    EXPECT_EQ(bar->GetPartRect(CUIVScrollBar::Thumb).bottom, down.top - 3);
    EXPECT_EQ(bar->GetPartRect(CUIVScrollBar::LowerTrack).bottom, down.top);
}

// A container that keeps the scroll requests its bar sends.
struct RequestBox : CUIContainer {
    std::vector<WPARAM> codes;
    void Event(UIEvent& e) override {
        if (e.type == UIEventType::VScroll) codes.push_back(e.wParam);
        CUIContainer::Event(e);
    }
};

TEST(ScrollBar, DraggingTheThumbAsksForThumbPosition) {
    EditWindow win;
    auto* box = win.root->AddNew<RequestBox>();
    box->SetPos(0, 0, 300, 200);
    auto* bar = box->AddNew<CUIVScrollBar>();
    bar->SetRange(0, 100);
    bar->SetPage(20);
    bar->SetLine(5);
    bar->SetPos(100, 20, 115, 180);
    win.Paint();
    const RECT thumb = bar->GetPartRect(CUIVScrollBar::Thumb);
    const int y = (thumb.top + thumb.bottom) / 2;
    win.Down(107, y);
    win.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(107, y + 40));
    win.Up(107, y + 40);
    EXPECT_GT(bar->GetScrollPos(), 0);
    ASSERT_FALSE(box->codes.empty());
    for (WPARAM code : box->codes) EXPECT_EQ(code, SB_THUMBPOSITION);
}

TEST(ScrollBar, ContainersGetTheSkinnedBarWhenContentOutgrowsThem) {
    EditWindow win;
    // Laid out only once it has its child, so the child is part of its design.
    auto* box = win.root->AddNew<CDialogLayoutUI>();
    box->EnableScrollBar(true);
    auto* child = box->AddNew<TestControl>();
    child->SetPos(0, 0, 150, 400);
    box->SetPos(0, 0, 200, 100);
    auto* bar = dynamic_cast<CUIVScrollBar*>(box->GetScrollBar());
    ASSERT_NE(bar, nullptr);
    box->SetScrollPos(150);  // the middle
    EXPECT_EQ(box->GetScrollPos(), 150);
    EXPECT_EQ(bar->GetScrollPos(), 150);
    EXPECT_EQ(child->GetPos().top, -150);
}

}  // namespace
}  // namespace vm::test
