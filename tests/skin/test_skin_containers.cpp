// Layout containers: the dialog layout's anchoring, child ownership, the single-child frame,
// the scroll-bar hook and the group box.

#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/CCanvasUI.h"
#include "skin/CUIGroup.h"
#include "skin/IScrollBarUI.h"

namespace vm::test {
namespace {

struct Tracked : TestControl {
    explicit Tracked(bool* deleted, COLORREF fill = kNoColor)
        : TestControl(0, "TestUI", fill), flag(deleted) {}
    ~Tracked() override { *flag = true; }
    bool* flag;
};

TEST(DialogLayout, ChildrenBoundingBoxIsAnchoredAtTheLayoutsTopLeft) {
    TestWindow win;
    win.Open(200, 200);
    auto* a = win.root->AddNew<TestControl>(0, "TestUI", 0x0000FF);
    a->SetPos(12, 40, 52, 60);
    auto* b = win.root->AddNew<TestControl>(0, "TestUI", 0x00FF00);
    b->SetPos(100, 80, 150, 100);
    win.root->SetBackColor(0xFFFFFF);
    win.Paint();
    EXPECT_EQ(a->GetPos(), (RECT{0, 0, 40, 20}));
    EXPECT_EQ(b->GetPos(), (RECT{88, 40, 138, 60}));
    EXPECT_EQ(win.root->EstimateSize({}), (SIZE{138, 60}));

    // Added after the first layout: keeps its rectangle.
    auto* late = win.root->AddNew<TestControl>(0, "TestUI", 0xFF0000);
    late->SetPos(150, 150, 160, 160);
    win.Paint();
    EXPECT_EQ(late->GetPos(), (RECT{150, 150, 160, 160}));

    const QImage image = win.Render();
    EXPECT_EQ(PixelAt(image, 5, 5), 0x0000FFu);
    EXPECT_EQ(PixelAt(image, 20, 45), 0xFFFFFFu);  // where a was designed: now background
    EXPECT_EQ(PixelAt(image, 90, 45), 0x00FF00u);
    EXPECT_EQ(PixelAt(image, 155, 155), 0xFF0000u);
    win.Close();
}

TEST(Container, RemoveOnANonOwningContainerLeavesTheChild) {
    TestWindow win;
    win.Open(100, 100);
    auto* box = win.root->AddNew<CUIContainer>();
    box->SetAutoDestroy(false);
    bool deleted = false;
    Tracked child(&deleted);
    ASSERT_TRUE(box->AddBorrowed(&child));
    EXPECT_FALSE(box->Remove(&child));
    EXPECT_EQ(box->GetCount(), 1);
    EXPECT_EQ(box->GetItem(0), &child);
    EXPECT_FALSE(deleted);
    box->RemoveAll();  // lets go without deleting what it never owned
    EXPECT_EQ(box->GetCount(), 0);
    EXPECT_FALSE(deleted);
}

TEST(Container, RemoveOnAnOwningContainerDeletesTheChildAndClearsFocus) {
    TestWindow win;
    win.Open(100, 100);
    bool deleted = false;
    auto* child = static_cast<TestControl*>(win.root->Add(std::make_unique<Tracked>(&deleted)));
    child->SetPos(0, 0, 10, 10);
    win.Paint();
    child->SetFocus();
    EXPECT_EQ(win.manager.GetFocus(), child);
    EXPECT_TRUE(win.root->Remove(child));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(win.manager.GetFocus(), nullptr);
    EXPECT_EQ(win.root->GetItem(0), nullptr);
    EXPECT_EQ(win.root->GetItem(-1), nullptr);
}

TEST(Container, FirstChildGetsTheRectangleInsideTheInset) {
    TestWindow win;
    win.Open(100, 100);
    auto* box = win.root->AddNew<CCanvasUI>();
    auto* first = box->AddNew<TestControl>();
    auto* second = box->AddNew<TestControl>();
    second->SetPos(1, 2, 3, 4);
    box->SetAttribute("inset", "5");
    box->SetAttribute("pos", "10,20,60,80");
    EXPECT_EQ(box->GetPos(), (RECT{10, 20, 60, 80}));
    EXPECT_EQ(first->GetPos(), (RECT{15, 25, 55, 75}));
    EXPECT_EQ(second->GetPos(), (RECT{1, 2, 3, 4}));
    EXPECT_STREQ(box->GetClass(), "CanvasUI");
    EXPECT_NE(box->GetInterface("Container"), nullptr);
}

TEST(Container, FindSelectableSkipsNonListItems) {
    struct Item : TestControl {
        void* GetInterface(std::string_view name) override {
            return name == "ListItem" ? this : TestControl::GetInterface(name);
        }
    };
    CUIContainer box;
    EXPECT_EQ(box.FindSelectable(0, true), -1);
    box.AddNew<TestControl>();
    box.AddNew<Item>();
    box.AddNew<TestControl>();
    box.AddNew<Item>()->SetEnabled(false);
    EXPECT_EQ(box.FindSelectable(0, true), 1);
    EXPECT_EQ(box.FindSelectable(2, true), -1);
    EXPECT_EQ(box.FindSelectable(99, false), 1);
    EXPECT_EQ(box.FindSelectable(0, false), 1);  // falls back to the forward search
}

// A scroll bar that only keeps its numbers.
class FakeBar : public TestControl, public IScrollBarUI {
  public:
    void* GetInterface(std::string_view name) override {
        return name == "ScrollBar" ? static_cast<IScrollBarUI*>(this)
                                   : TestControl::GetInterface(name);
    }
    void SetRange(int lo, int hi, bool) override {
        min = lo;
        max = hi;
    }
    void GetRange(int& lo, int& hi) const override {
        lo = min;
        hi = max;
    }
    void SetPage(int p) override { page = p; }
    int GetPage() const override { return page; }
    void SetLine(int l) override { line = l; }
    int GetLine() const override { return line; }
    void SetScrollPos(int p, bool) override { pos = std::clamp(p, min, std::max(min, max - page)); }
    int GetScrollPos() const override { return pos; }
    int GetBarWidth() const override { return 16; }
    void ApplySkin(const ScrollBarSkin* s) override { skinned = s != nullptr; }

    int min = 0, max = 100, page = 20, line = 1, pos = 0;
    bool skinned = false;
};

TEST(Container, ScrollBarComesWhenContentOutgrowsTheLayoutAndScrollsIt) {
    CUIContainer::SetScrollBarFactory([] { return std::make_unique<FakeBar>(); });
    TestWindow win;
    win.Open(200, 100);
    auto* top = win.root->AddNew<TestControl>();
    top->SetPos(0, 0, 50, 20);
    auto* bottom = win.root->AddNew<TestControl>();
    bottom->SetPos(0, 280, 50, 300);
    win.root->EnableScrollBar(true);
    win.Paint();
    auto* bar = dynamic_cast<FakeBar*>(win.root->GetScrollBar());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetPos(), (RECT{184, 0, 200, 100}));
    EXPECT_EQ(bar->max, 300);
    EXPECT_EQ(bar->page, 100);
    EXPECT_EQ(bar->line, 20);
    EXPECT_EQ(bar->GetParent(), win.root);

    UIEvent page;
    page.type = UIEventType::VScroll;
    page.wParam = 3;  // page down
    win.root->Event(page);
    EXPECT_EQ(win.root->GetScrollPos(), 100);
    EXPECT_EQ(top->GetPos().top, -100);
    UIEvent end;
    end.type = UIEventType::KeyDown;
    end.key = VK_END;
    win.root->Event(end);
    EXPECT_EQ(win.root->GetScrollPos(), 200);  // clamped to range - page
    EXPECT_EQ(bottom->GetPos().bottom, 100);

    // Room for everything: the bar goes and the content returns to the top.
    win.Window()->resize(200, 400);
    win.root->SetPos(0, 0, 200, 400);
    EXPECT_EQ(win.root->GetScrollBar(), nullptr);
    EXPECT_EQ(top->GetPos().top, 0);
    CUIContainer::SetScrollBarFactory(nullptr);
}

TEST(Group, PaintsBodyCaptionAndChildren) {
    TestWindow win;
    win.Open(200, 120);
    win.root->SetBackColor(0x000000);
    auto* anchor = win.root->AddNew<TestControl>();
    anchor->SetPos(0, 0, 1, 1);
    auto* group = win.root->AddNew<CUIGroup>();
    group->SetPos(10, 10, 190, 110);
    group->SetText("MMMMMM");
    group->SetCaptionBackColor(0x0000FF);
    auto* frame = group->AddNew<TestControl>();
    auto* child = group->AddNew<TestControl>(0, "TestUI", 0x00FF00);
    child->SetPos(100, 80, 120, 100);
    win.Paint();
    EXPECT_EQ(frame->GetPos(), (RECT{13, 13, 187, 107}));  // the first child fills the inset
    const QImage image = win.Render();
    EXPECT_EQ(PixelAt(image, 15, 100), UITheme::Get().Color(3));  // body
    EXPECT_EQ(PixelAt(image, 110, 90), 0x00FF00u);                // child
    EXPECT_EQ(PixelAt(image, 5, 5), 0x000000u);                   // outside the group
    // The caption box starts 10 pixels in and has the caption colour behind white text.
    int blue = 0, white = 0;
    for (int x = 20; x < 100; ++x) {
        for (int y = 10; y < 20; ++y) {
            blue += PixelAt(image, x, y) == 0x0000FFu;
            white += PixelAt(image, x, y) == 0xFFFFFFu;
        }
    }
    EXPECT_GT(blue, 50);
    EXPECT_GT(white, 5);
    EXPECT_EQ(PixelAt(image, 15, 12), UITheme::Get().Color(3));
}

}  // namespace
}  // namespace vm::test
