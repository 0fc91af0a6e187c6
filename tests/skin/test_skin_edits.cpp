// The edit field with its overlay, driven through the window's messages and real key presses.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "SkinTestSupport.h"
#include "skin/CSkinDialog.h"
#include "skin/CUIEdit.h"

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

TEST(Edit, ReadOnlyNeverGetsAnOverlay) {
    EditWindow win;
    auto* edit = win.Add<CUIEdit>(1, RECT{10, 10, 200, 34});
    edit->SetText("只读文字", false);
    edit->SetReadOnly(true);
    win.Paint();
    win.Down(50, 20);
    win.Up(50, 20);
    EXPECT_EQ(edit->GetOverlay(), nullptr);
    EXPECT_TRUE(edit->IsFocused());
    win.Down(60, 20);  // a second press on the focused edit does not open one either
    EXPECT_EQ(edit->GetOverlay(), nullptr);
}

TEST(Edit, TypingSendsTheWholeTextEachTimeAndResizeEndsEditing) {
    EditWindow win;
    auto* edit = win.Add<CUIEdit>(1, RECT{10, 10, 200, 34});
    win.Paint();
    win.Down(50, 20);
    win.Up(50, 20);
    auto* overlay = qobject_cast<QLineEdit*>(edit->GetOverlay());
    ASSERT_NE(overlay, nullptr);
    // Over the box, inside its frame.
    EXPECT_GE(overlay->geometry().left(), 11);
    EXPECT_LE(overlay->geometry().right(), 198);
    QTest::keyClicks(overlay, "abc");
    EXPECT_EQ(win.changes, (std::vector<std::string>{"a", "ab", "abc"}));

    win.Window()->resize(320, 220);
    EXPECT_EQ(edit->GetOverlay(), nullptr);
    EXPECT_EQ(edit->GetText(), "abc");
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(win.Count(UINotifyCode::KillFocus), 1);
    FlushDeletes();
}

TEST(Edit, LimitAndPasswordReachTheOverlay) {
    EditWindow win;
    auto* edit = win.Add<CUIEdit>(1, RECT{10, 10, 200, 34});
    edit->SetPassword(true);
    edit->SetTextLimit(4);
    win.Paint();
    win.Down(50, 20);
    auto* overlay = qobject_cast<QLineEdit*>(edit->GetOverlay());
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->echoMode(), QLineEdit::Password);
    QTest::keyClicks(overlay, "123456");
    EXPECT_EQ(edit->GetText(), "1234");
    edit->SetEnabled(false);
    EXPECT_FALSE(overlay->isEnabled());
}

// The box of an edit showing `text`, painted alone.
QImage PaintedBox(const std::string& text, bool password) {
    EditWindow win;
    auto* edit = win.Add<CUIEdit>(1, RECT{10, 10, 200, 34});
    edit->SetPassword(password);
    edit->SetText(text, false);
    win.Paint();
    return win.manager.GetBackBuffer().copy(10, 10, 190, 24);
}

TEST(Edit, PasswordPaintsOneStarPerCharacter) {
    const QImage secret = PaintedBox("密码ab1", true);
    EXPECT_EQ(secret, PaintedBox("*****", false));
    EXPECT_NE(secret, PaintedBox("****", false));
    EXPECT_NE(secret, PaintedBox("******", false));
    EXPECT_NE(PaintedBox("*****", false), PaintedBox("", false));  // stars were painted at all
}

TEST(Edit, DialogFactorySetsTheTextWithANotification) {
    struct Dlg : CSkinDialog {
        void Notify(UINotify& n) override {
            if (n.code == UINotifyCode::TextChanged) texts.push_back(n.sender->GetText());
        }
        std::vector<std::string> texts;
    } dlg;
    TestApp();
    ASSERT_TRUE(dlg.Create(nullptr, "t", 300, 200));
    CUIEdit* edit = dlg.CreateEdit(1018, 10, 10, 200, 34, "C:/Tovrin/Tovrin.exe");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(dlg.FindControl(1018), edit);
    EXPECT_STREQ(edit->GetClass(), "EditUI");
    EXPECT_EQ(dlg.texts, (std::vector<std::string>{"C:/Tovrin/Tovrin.exe"}));
}

}  // namespace
}  // namespace vm::test
