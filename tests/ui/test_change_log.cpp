// The change log: the server's text in a viewer the player cannot change, and its two ways
// to close.

#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "app/Prompter.h"
#include "skin/CSkinEdit.h"
#include "ui/CChangeLogDialog.h"

namespace vm::test {
namespace {

class ChangeLog : public DialogTest {
  protected:
    void TearDown() override {
        theApp().PublishedState().updateInfo.Set({});
        DialogTest::TearDown();
    }
};

TEST_F(ChangeLog, ShowsTheServerTextReadOnlyAndClosesByItsButton) {
    theApp().PublishedState().updateInfo.Set(
        {{"Version", "1.019"}, {"ChangeLog", "修正了Foo的错误。\n第二行"}});
    QString shown, afterTyping;
    QRect geometry;
    WhenShown<CChangeLogDialog>([&](CChangeLogDialog* d) {
        CSkinEdit* viewer = d->Viewer();
        shown = viewer->toPlainText();
        geometry = viewer->geometry();
        viewer->setFocus();
        QTest::keyClicks(viewer, "abc");
        QTest::keyClick(viewer, Qt::Key_Backspace);
        afterTyping = viewer->toPlainText();
        ClickControl(d, 1003);
    });
    CChangeLogDialog dialog;
    dialog.Run(nullptr);
    EXPECT_EQ(shown, QString::fromUtf8("修正了Foo的错误。\n第二行"));
    EXPECT_EQ(afterTyping, shown);
    EXPECT_EQ(geometry, QRect(6, 35, 588, 310));
    EXPECT_EQ(Shown<CChangeLogDialog>(), nullptr);
}

TEST_F(ChangeLog, WithoutAChangeLogTheViewerIsEmptyAndTheCloseBoxCloses) {
    theApp().PublishedState().updateInfo.Set({{"Version", "1.019"}});
    QString shown = "x";
    WhenShown<CChangeLogDialog>([&](CChangeLogDialog* d) {
        shown = d->Viewer()->toPlainText();
        ClickControl(d, 1000);
    });
    CChangeLogDialog dialog;
    dialog.Run(nullptr);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(Shown<CChangeLogDialog>(), nullptr);
}

}  // namespace
}  // namespace vm::test
