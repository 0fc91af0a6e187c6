// The skinned message box: layout, icons, answers by mouse and keyboard, and the window
// program's Prompter showing it for worker threads.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "SkinTestSupport.h"
#include "app/Prompter.h"
#include "res/ResourceIds.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"
#include "skin/CTransparentStatic.h"
#include "skin/CUIButton.h"
#include "skin/MarkupText.h"
#include "ui/QtPrompter.h"

namespace vm::test {
namespace {

class MessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        // The start-up look of the program.
        ASSERT_TRUE(CSkinDialog::LoadDialogBackground(res::IDP_DIALOG_BACKGROUND));
        ASSERT_TRUE(CSkinDialog::LoadButtonFace(res::IDP_BUTTON_FACE));
        ASSERT_TRUE(CSkinDialog::LoadMessageBoxBackground(res::IDP_MSGBOX_CLOSE));
        CMessageBoxWnd::ResetAppearance();
        CMessageBoxWnd::SetCloseButtonOffset(5, 1);
        CMessageBoxWnd::SetTitlePosition(10, 3);
        CMessageBoxWnd::SetTitleStyle(36);
        CMessageBoxWnd::SetMessageColor(0);
        CMessageBoxWnd::SetTitleColor(0);
        CMessageBoxWnd::SetButtonTextColors(0xF9E6FD, 0xF9E6FD, 0xF9E6FD, 0xF9E6FD);
    }
    void TearDown() override { FlushDeletes(); }
};

// The box currently shown, found among the top-level windows.
CMessageBoxWnd* ShownBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* n = NativeWindow::FromHwnd(w);
        if (n && !n->IsDestroyed() && n->objectName() == "MessageBoxWnd" && n->isVisible())
            return dynamic_cast<CMessageBoxWnd*>(n->Handler());
    }
    return nullptr;
}

// Runs `act` on the box once it is up, while ShowMessageBox runs its modal loop.
void WhenShown(std::function<void(CMessageBoxWnd*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (CMessageBoxWnd* box = ShownBox()) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start();
}

TEST_F(MessageBoxTest, QuestionBoxAnswersYesOnReturnAndNoOnEscape) {
    std::string yes, no;
    int icon = 0;
    WhenShown([&](CMessageBoxWnd* box) {
        icon = box->GetIconIndex();
        yes = box->Manager().FindControl("ok")->GetText();
        no = box->Manager().FindControl("cancel")->GetText();
        QTest::keyClick(box->GetHWND(), Qt::Key_Return);
    });
    EXPECT_EQ(CMessageBoxWnd::ShowMessageBox(nullptr, "继续吗？", "问题", 0x24), 6);
    EXPECT_EQ(icon, 2);
    EXPECT_EQ(yes, "是");
    EXPECT_EQ(no, "否");
    EXPECT_EQ(CMessageBoxWnd::LastResult(), 6);
    WhenShown([](CMessageBoxWnd* box) { QTest::keyClick(box->GetHWND(), Qt::Key_Escape); });
    EXPECT_EQ(CMessageBoxWnd::ShowMessageBox(nullptr, "继续吗？", "问题", 0x24), 7);
}

TEST_F(MessageBoxTest, EmptyMessageGivesTheNarrowestBox) {
    int width = 0;
    RECT okRect;
    WhenShown([&](CMessageBoxWnd* box) {
        width = box->GetHWND()->width();
        okRect = box->Manager().FindControl("ok")->GetPos();
        box->Close();
    });
    CMessageBoxWnd::ShowMessageBox(nullptr, "", "", 0);
    EXPECT_EQ(width, 3 * 20 + 2 * 80);
    EXPECT_EQ(okRect.left, (width - 80) / 2);  // one button, centred
    EXPECT_EQ(okRect.Width(), 80);
}

TEST_F(MessageBoxTest, LayoutFollowsTheMessageAndTheLook) {
    const std::string message = "第一行很长很长很长很长很长很长很长很长很长\n第二行";
    QSize size;
    RECT title, close, icon, text, ok, cancel;
    QRegion mask;
    WhenShown([&](CMessageBoxWnd* box) {
        size = box->GetHWND()->size();
        mask = box->GetHWND()->mask();
        CUIManager& m = box->Manager();
        title = m.FindControl(1)->GetPos();
        close = m.FindControl(0)->GetPos();
        icon = m.FindControl(2)->GetPos();
        text = m.FindControl(3)->GetPos();
        ok = m.FindControl("ok")->GetPos();
        cancel = m.FindControl("cancel")->GetPos();
        box->Close();
    });
    CMessageBoxWnd::ShowMessageBox(nullptr, message, "标题", 0x31);
    const RECT measured = MeasureMarkupText(nullptr, RECT{0, 0, 9999, 100}, message, 0);
    EXPECT_EQ(size.width(), measured.Width() + 3 * 20 + 32);
    EXPECT_EQ(size.height(), std::max(32, measured.Height()) + 3 * 20 + 20 + 20);
    EXPECT_EQ(close, (RECT{size.width() - 5 - 16, 1, size.width() - 5, 17}));
    EXPECT_EQ(title, (RECT{10, 3, size.width() - 5 - 16, 19}));
    EXPECT_EQ(icon, (RECT{20, 40, 52, 72}));
    EXPECT_EQ(text.left, 2 * 20 + 32);
    EXPECT_EQ(text.top, 20 + 20 + 5);
    EXPECT_EQ(ok.top, size.height() - 20 - 20);
    EXPECT_EQ(cancel.left, ok.right + 10);
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(size.width() - 1, size.height() - 1)));
    EXPECT_TRUE(mask.contains(QPoint(size.width() / 2, size.height() / 2)));
}

TEST_F(MessageBoxTest, CloseButtonAndOtherClosingAnswerCancel) {
    WhenShown([](CMessageBoxWnd* box) {
        const RECT r = box->Manager().FindControl(0)->GetPos();
        const QPoint p((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        QTest::mouseMove(box->GetHWND(), p);
        QTest::mouseClick(box->GetHWND(), Qt::LeftButton, {}, p);
    });
    EXPECT_EQ(CMessageBoxWnd::ShowMessageBox(nullptr, "消息", "标题", 0x24), 2);
    // A previous "yes" is not the answer of a box closed without its buttons.
    WhenShown([](CMessageBoxWnd* box) { QTest::keyClick(box->GetHWND(), Qt::Key_Return); });
    ASSERT_EQ(CMessageBoxWnd::ShowMessageBox(nullptr, "消息", "标题", 0x24), 6);
    WhenShown([](CMessageBoxWnd* box) { box->GetHWND()->close(); });
    EXPECT_EQ(CMessageBoxWnd::ShowMessageBox(nullptr, "消息", "标题", 0x24), 2);
}

TEST_F(MessageBoxTest, TitleStripDragsTheBox) {
    CMessageBoxWnd box("消息", "标题", 0);
    ASSERT_TRUE(box.Open(nullptr));
    QWidget* w = box.GetHWND();
    auto hit = [&](int x, int y) {
        return box.SendMessage(
            WM_NCHITTEST, 0,
            MAKELPARAM(w->mapToGlobal(QPoint(x, y)).x(), w->mapToGlobal(QPoint(x, y)).y()));
    };
    EXPECT_EQ(hit(30, 10), HTCAPTION);
    EXPECT_EQ(hit(w->width() - 10, 10), HTCLIENT);  // the close button
    EXPECT_EQ(hit(30, 30), HTCLIENT);
    EXPECT_EQ(box.GetIconIndex(), 4);  // no icon bits: information
}

TEST_F(MessageBoxTest, DialogBoxUsesTheWindowTitle) {
    struct Dlg : CSkinDialog {};
    Dlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "上传配置", 200, 100));
    dlg.ShowWindow();
    std::string title;
    bool ownerBlocked = false;
    WhenShown([&](CMessageBoxWnd* box) {
        title = box->Manager().FindControl(1)->GetText();
        ownerBlocked = !dlg.Window()->IsWindowEnabled();
        QTest::keyClick(box->GetHWND(), Qt::Key_Return);
    });
    EXPECT_EQ(dlg.MessageBox("<c #FDE6F9>上传配置成功！", "", 0x40), 1);
    EXPECT_EQ(title, "上传配置");
    EXPECT_TRUE(ownerBlocked);
    EXPECT_TRUE(dlg.Window()->IsWindowEnabled());
}

TEST_F(MessageBoxTest, PrompterAnswersWorkersOnTheUiThread) {
    QtPrompter prompter;
    std::atomic<int> answer{0};
    std::atomic<bool> boxOnUiThread{false};
    WhenShown([&](CMessageBoxWnd* box) {
        boxOnUiThread = box->GetHWND()->thread() == QApplication::instance()->thread();
        QTest::keyClick(box->GetHWND(), Qt::Key_Escape);
    });
    std::thread worker(
        [&] { answer = prompter.Prompt("要删除吗？", "确认", MB_YESNO | MB_ICONQUESTION); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.load() != 0; }, 10000));
    worker.join();
    EXPECT_EQ(answer.load(), IDNO);
    EXPECT_TRUE(boxOnUiThread.load());
    // On the UI thread itself the call is answered directly.
    WhenShown([](CMessageBoxWnd* box) { QTest::keyClick(box->GetHWND(), Qt::Key_Return); });
    EXPECT_EQ(prompter.Prompt("好的", "提示", MB_OK), IDOK);
}

TEST(TransparentStatic, StylesBecomeTextFlags) {
    EXPECT_EQ(StaticStyleToDrawFlags(SS_LEFT), DT_WORDBREAK);
    EXPECT_EQ(StaticStyleToDrawFlags(SS_CENTER), DT_CENTER | DT_WORDBREAK);
    EXPECT_EQ(StaticStyleToDrawFlags(SS_RIGHT | SS_NOPREFIX),
              DT_RIGHT | DT_NOPREFIX | DT_WORDBREAK);
    EXPECT_EQ(StaticStyleToDrawFlags(0x4), 0u);  // a frame type: no word break
    EXPECT_EQ(StaticStyleToDrawFlags(SS_CENTERIMAGE), DT_SINGLELINE | DT_VCENTER);
    EXPECT_EQ(StaticStyleToDrawFlags(SS_ENDELLIPSIS), DT_WORD_ELLIPSIS | DT_END_ELLIPSIS);
    EXPECT_EQ(StaticStyleToDrawFlags(SS_PATHELLIPSIS), DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS);
    EXPECT_EQ(StaticStyleToDrawFlags(SS_WORDELLIPSIS), DT_WORD_ELLIPSIS);

    TestApp();
    QImage backdrop(120, 30, QImage::Format_ARGB32_Premultiplied);
    backdrop.fill(QColor(0, 0, 255));
    QWidget parent;
    parent.resize(120, 30);
    CTransparentStatic text(&parent, SS_LEFT);
    text.resize(120, 30);
    text.SetText("透明");
    text.SetTextColor(RGB(255, 255, 255));
    text.render(&backdrop);
    EXPECT_EQ(PixelAt(backdrop, 110, 25), RGB(0, 0, 255));  // no background drawn
}

}  // namespace
}  // namespace vm::test
