// The control manager: hit testing, focus and tab order, keyboard translation, mouse state,
// wheel, timers and name lookup, driven through the window's messages.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "SkinTestSupport.h"

namespace vm::test {
namespace {

class ManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        win = std::make_unique<TestWindow>();
        win->Open(300, 200);
    }
    void TearDown() override {
        win.reset();
        FlushDeletes();
    }
    TestControl* Add(RECT r, UINT flags = 0, const char* name = "", const char* cls = "TestUI") {
        auto* c = win->root->AddNew<TestControl>(flags, cls);
        c->SetPos(r);
        c->SetName(name);
        return c;
    }
    // The first paint lays the tree out (and sends WindowInit).
    void Layout() {
        Add({0, 0, 1, 1});  // anchors the dialog layout's bounding box at the origin
        win->Paint();
    }
    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return win->SendMessage(msg, w, l); }

    std::unique_ptr<TestWindow> win;
};

TEST_F(ManagerTest, HitTestGivesTheOverlappingChildAddedFirst) {
    TestControl* first = Add({10, 10, 100, 100});
    TestControl* second = Add({50, 50, 150, 150});
    Layout();
    EXPECT_EQ(win->manager.FindControlAt({60, 60}), first);
    EXPECT_EQ(win->manager.FindControlAt({120, 120}), second);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(70, 70));
    EXPECT_EQ(first->Count(UIEventType::ButtonDown), 1);
    EXPECT_EQ(second->Count(UIEventType::ButtonDown), 0);
}

TEST_F(ManagerTest, PolygonControlHitsOnlyInsideItsPolygonWithAlternateFill) {
    TestControl* c = Add({10, 10, 90, 90});
    // Outer square, then an inner square in the same direction: alternate fill leaves a hole.
    const POINT ring[] = {{10, 10}, {90, 10}, {90, 90}, {10, 90}, {10, 10},
                          {30, 30}, {70, 30}, {70, 70}, {30, 70}, {30, 30}};
    c->SetPolygon(ring, 10);
    Layout();
    EXPECT_EQ(win->manager.FindControlAt({20, 20}), c);
    EXPECT_NE(win->manager.FindControlAt({50, 50}), c);
    const POINT triangle[] = {{10, 10}, {90, 10}, {10, 90}};
    c->SetPolygon(triangle, 3);
    EXPECT_EQ(win->manager.FindControlAt({20, 20}), c);
    EXPECT_NE(win->manager.FindControlAt({80, 80}), c);
}

TEST_F(ManagerTest, ReturnActivatesOkUnlessFocusWantsReturnOrIsOk) {
    TestControl* ok = Add({0, 0, 50, 20}, UIFLAG_TABSTOP, "ok");
    TestControl* other = Add({0, 30, 50, 50}, UIFLAG_TABSTOP, "other");
    TestControl* edit = Add({0, 60, 50, 80}, UIFLAG_TABSTOP | UIFLAG_WANTRETURN, "edit");
    Layout();

    other->SetFocus();
    QTest::keyClick(win->Window(), Qt::Key_Return);
    EXPECT_EQ(ok->activations, 1);
    EXPECT_EQ(other->Count(UIEventType::KeyDown), 0);  // eaten by the translation

    edit->SetFocus();
    QTest::keyClick(win->Window(), Qt::Key_Return);
    EXPECT_EQ(ok->activations, 1);
    ASSERT_EQ(edit->Count(UIEventType::KeyDown), 1);
    EXPECT_EQ(edit->Count(UIEventType::Char), 1);

    ok->SetFocus();
    QTest::keyClick(win->Window(), Qt::Key_Return);
    EXPECT_EQ(ok->activations, 1);
    EXPECT_EQ(ok->Count(UIEventType::KeyDown), 1);
}

TEST_F(ManagerTest, EscapeActivatesCancel) {
    TestControl* cancel = Add({0, 0, 50, 20}, UIFLAG_TABSTOP, "cancel");
    Layout();
    QTest::keyClick(win->Window(), Qt::Key_Escape);
    EXPECT_EQ(cancel->activations, 1);
    ASSERT_FALSE(win->notes.empty());
    EXPECT_EQ(win->notes.back().code, UINotifyCode::Click);
    EXPECT_EQ(win->notes.back().sender, cancel);
}

TEST_F(ManagerTest, LabelShortcutGoesToTheNextControlThatIsNotALabel) {
    TestControl* label = Add({0, 0, 50, 20}, 0, "label", "LabelPanelUI");
    TestControl* label2 = Add({0, 20, 50, 40}, 0, "label2", "LabelLinelUI");
    TestControl* button = Add({0, 40, 50, 60}, UIFLAG_TABSTOP, "button", "ButtonUI");
    TestControl* plain = Add({0, 60, 50, 80}, UIFLAG_TABSTOP, "plain", "ButtonUI");
    label->SetShortcut(u'N');
    plain->SetShortcut(u'P');
    Layout();

    QTest::keyClick(win->Window(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(label->activations, 0);
    EXPECT_EQ(label2->activations, 0);
    EXPECT_EQ(button->activations, 1);
    EXPECT_EQ(win->manager.GetFocus(), button);
    EXPECT_TRUE(win->manager.IsAcceleratorDisplayed());

    QTest::keyClick(win->Window(), Qt::Key_P, Qt::AltModifier);  // lower-case 'p' matches 'P'
    EXPECT_EQ(plain->activations, 1);
    EXPECT_EQ(win->manager.GetFocus(), plain);
}

TEST_F(ManagerTest, TabCyclesFocusInTreeOrderAlsoFromAQtChild) {
    TestControl* a = Add({0, 0, 50, 20}, UIFLAG_TABSTOP, "a");
    Add({0, 20, 50, 40}, 0, "label");
    TestControl* b = Add({0, 40, 50, 60}, UIFLAG_TABSTOP, "b");
    TestControl* c = Add({0, 60, 50, 80}, UIFLAG_TABSTOP, "c");
    Layout();
    EXPECT_EQ(win->manager.GetFocus(), a);  // focus-needed after the first layout

    QTest::keyClick(win->Window(), Qt::Key_Tab);
    EXPECT_EQ(win->manager.GetFocus(), b);
    QTest::keyClick(win->Window(), Qt::Key_Tab);
    EXPECT_EQ(win->manager.GetFocus(), c);
    QTest::keyClick(win->Window(), Qt::Key_Tab);
    EXPECT_EQ(win->manager.GetFocus(), a);
    QTest::keyClick(win->Window(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(win->manager.GetFocus(), c);

    // A real Qt child (an edit overlay) has the keyboard: Tab still moves the skin focus and
    // never reaches the child.
    auto* edit = new QLineEdit(win->Window());  // owned by the window
    edit->setGeometry(100, 100, 80, 20);
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(win->manager.GetFocus(), a);
    QTest::keyClick(edit, Qt::Key_X);
    EXPECT_EQ(edit->text(), "x");  // other keys still reach it
    a->events.clear();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(a->Count(UIEventType::KeyDown), 0);  // the child's keys are not dispatched to us
}

TEST_F(ManagerTest, OneWheelNotchGivesOneScrollWheelAndThreeVScrollToTheFocus) {
    TestControl* focused = Add({0, 0, 50, 50}, UIFLAG_TABSTOP, "f");
    TestControl* under = Add({100, 100, 200, 200}, 0, "u");
    Layout();
    focused->SetFocus();
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(150, 150));
    focused->events.clear();
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(150, 150));
    EXPECT_EQ(focused->Count(UIEventType::ScrollWheel), 1);
    EXPECT_EQ(focused->Count(UIEventType::VScroll), 3);
    EXPECT_EQ(under->Count(UIEventType::ScrollWheel), 0);
    EXPECT_EQ(under->Count(UIEventType::VScroll), 0);
    EXPECT_EQ(focused->lastEvent.wParam, 1u);  // towards the user: line down

    focused->events.clear();
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(150, 150));
    ASSERT_EQ(focused->events.size(), 4u);
    EXPECT_EQ(focused->lastEvent.wParam, 0u);
}

TEST_F(ManagerTest, FirstTimerIdIs17AndIdsWrapAfter255) {
    TestControl* c = Add({0, 0, 50, 50});
    Layout();
    ASSERT_TRUE(win->manager.SetTimer(c, 1, 100000));
    EXPECT_EQ(win->manager.LastTimerId(), 17u);
    ASSERT_TRUE(win->manager.SetTimer(c, 2, 100000));
    EXPECT_EQ(win->manager.LastTimerId(), 18u);
    std::uintptr_t last = 0;
    for (int i = 3; i <= 256; ++i) {
        win->manager.SetTimer(c, static_cast<UINT>(i), 100000);
        last = win->manager.LastTimerId();
        if (i == 239) {
            EXPECT_EQ(last, 0u);  // after 254 the ids go on at 0
        }
    }
    EXPECT_EQ(last, 17u);  // the 256th id is the first one again
}

TEST_F(ManagerTest, ControlTimerFiresAsTimerEventAndNotification) {
    TestControl* c = Add({0, 0, 50, 50});
    Layout();
    ASSERT_TRUE(win->manager.SetTimer(c, 7, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c->Count(UIEventType::Timer) > 0; }, 5000));
    EXPECT_EQ(c->lastEvent.wParam, 7u);
    bool notified = false;
    for (const UINotify& n : win->notes) notified |= n.code == UINotifyCode::Timer && n.wParam == 7;
    EXPECT_TRUE(notified);
    // Restarting replaces the timer; one kill ends it.
    ASSERT_TRUE(win->manager.SetTimer(c, 7, 1));
    EXPECT_TRUE(win->manager.KillTimer(c, 7));
    EXPECT_FALSE(win->manager.KillTimer(c, 7));
}

TEST_F(ManagerTest, FocusChangeSendsEventsAndNotificationsInOrder) {
    TestControl* a = Add({0, 0, 50, 20}, UIFLAG_TABSTOP, "a");
    TestControl* b = Add({0, 30, 50, 50}, UIFLAG_TABSTOP, "b");
    TestControl* hidden = Add({0, 60, 50, 80}, UIFLAG_TABSTOP, "hidden");
    Layout();
    a->SetFocus();
    win->notes.clear();
    b->SetFocus();
    ASSERT_EQ(win->notes.size(), 2u);
    EXPECT_EQ(win->notes[0].code, UINotifyCode::KillFocus);
    EXPECT_EQ(win->notes[0].sender, a);
    EXPECT_EQ(win->notes[1].code, UINotifyCode::SetFocus);
    EXPECT_EQ(win->notes[1].sender, b);
    EXPECT_FALSE(a->IsFocused());
    EXPECT_TRUE(b->IsFocused());
    EXPECT_EQ(a->lastEvent.sender, b);  // KillFocus names the new focus

    hidden->SetVisible(false);
    hidden->SetFocus();
    EXPECT_EQ(win->manager.GetFocus(), nullptr);  // the old focus left, nothing arrived
}

TEST_F(ManagerTest, MouseHotCaptureAndLeave) {
    TestControl* a = Add({0, 0, 50, 50}, 0, "a");
    TestControl* b = Add({100, 0, 150, 50}, 0, "b");
    Layout();
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(a->Count(UIEventType::MouseEnter), 1);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 10));
    EXPECT_EQ(a->Count(UIEventType::MouseLeave), 1);
    EXPECT_EQ(b->Count(UIEventType::MouseEnter), 1);
    EXPECT_EQ(a->Count(UIEventType::MouseMove), 2);  // captured: moves go to the pressed one
    EXPECT_EQ(b->Count(UIEventType::MouseMove), 0);
    Send(WM_LBUTTONUP, 0, MAKELPARAM(120, 10));
    EXPECT_EQ(a->Count(UIEventType::ButtonUp), 1);
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(120, 12));
    EXPECT_EQ(b->Count(UIEventType::MouseMove), 1);
    Send(WM_MOUSELEAVE);
    EXPECT_EQ(b->Count(UIEventType::MouseLeave), 1);  // the move to (-1, -1) clears hot
}

TEST_F(ManagerTest, NameLookupWindowInitAndDeletedControls) {
    TestControl* a = Add({0, 0, 50, 20}, UIFLAG_TABSTOP, "alpha");
    a->SetId(42);
    Layout();
    int inits = 0;
    for (const UINotify& n : win->notes) inits += n.code == UINotifyCode::WindowInit;
    EXPECT_EQ(inits, 1);
    win->Paint();
    inits = 0;
    for (const UINotify& n : win->notes) inits += n.code == UINotifyCode::WindowInit;
    EXPECT_EQ(inits, 1);

    EXPECT_EQ(win->manager.FindControl("alpha"), a);
    EXPECT_EQ(win->manager.FindControl("beta"), nullptr);
    a->SetName("42");
    EXPECT_EQ(win->manager.FindControl(42), a);
    for (int i = 0; i < 30; ++i) Add({0, 0, 1, 1}, 0, std::to_string(1000 + i).c_str());
    EXPECT_EQ(win->manager.FindControl(1017)->GetName(), "1017");

    // A hot, focused and timed control that goes away is forgotten everywhere.
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    a->SetFocus();
    win->manager.SetTimer(a, 1, 1);
    EXPECT_TRUE(win->root->Remove(a));
    EXPECT_EQ(win->manager.GetFocus(), nullptr);
    EXPECT_EQ(win->manager.FindControl(42), nullptr);
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
    // Its timer must not fire into it: a live control's timer of the same interval fires many
    // times meanwhile, and no timer notification ever names the deleted control's timer.
    TestControl* live = Add({0, 0, 1, 1});
    ASSERT_TRUE(win->manager.SetTimer(live, 2, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return live->Count(UIEventType::Timer) >= 5; }, 5000));
    int goneTimers = 0;
    for (const UINotify& n : win->notes)
        goneTimers += n.code == UINotifyCode::Timer && n.wParam == 1;
    EXPECT_EQ(goneTimers, 0);
}

TEST_F(ManagerTest, AttachDialogDeletesTheOldTreeOnItsReapMessage) {
    Layout();
    bool deleted = false;
    struct Watch : TestControl {
        bool* flag;
        explicit Watch(bool* f) : flag(f) {}
        ~Watch() override { *flag = true; }
    };
    win->root->Add(std::make_unique<Watch>(&deleted));
    win->manager.AttachDialog(std::make_unique<CDialogLayoutUI>());
    EXPECT_FALSE(deleted);
    QCoreApplication::sendPostedEvents(win->Window());
    EXPECT_TRUE(deleted);
}

}  // namespace
}  // namespace vm::test
