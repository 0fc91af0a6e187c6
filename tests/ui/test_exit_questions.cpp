// The close-button question and the exit confirmation: what each answer writes and posts,
// and the guard against a second confirmation.

#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "app/Prompter.h"
#include "tests/support/RecordingTarget.h"
#include "ui/CDlgConfirmCloseBtnMean.h"
#include "ui/CDlgConfirmExit.h"

namespace vm::test {
namespace {

class ExitQuestions : public DialogTest {
  protected:
    std::string Stored(const char* key) { return theApp().GetProfileString("Misc", key, "<none>"); }
    std::shared_ptr<RecordingTarget> main = std::make_shared<RecordingTarget>();
};

TEST_F(ExitQuestions, CloseBoxOfTheCloseButtonQuestionMeansMinimise) {
    WhenShown<CDlgConfirmCloseBtnMean>([](CDlgConfirmCloseBtnMean* d) { ClickControl(d, 1); });
    CDlgConfirmCloseBtnMean dialog(main);
    EXPECT_EQ(dialog.Run(nullptr), IDYES);
    EXPECT_EQ(Stored("CloseMeanMin"), "tip");
    EXPECT_EQ(main->Ids(), std::vector<std::uint32_t>{CDlgConfirmCloseBtnMean::kHideMessage});
}

TEST_F(ExitQuestions, RememberedAnswersOfTheCloseButtonQuestion) {
    WhenShown<CDlgConfirmCloseBtnMean>([](CDlgConfirmCloseBtnMean* d) {
        ClickControl(d, 6);
        ClickControl(d, 8);
    });
    CDlgConfirmCloseBtnMean exitChoice(main);
    EXPECT_EQ(exitChoice.Run(nullptr), IDCANCEL);
    EXPECT_EQ(Stored("CloseMeanMin"), "false");

    WhenShown<CDlgConfirmCloseBtnMean>([](CDlgConfirmCloseBtnMean* d) {
        ClickControl(d, 6);
        ClickControl(d, 7);
    });
    CDlgConfirmCloseBtnMean minimiseChoice(main);
    EXPECT_EQ(minimiseChoice.Run(nullptr), IDYES);
    EXPECT_EQ(Stored("CloseMeanMin"), "true");

    WhenShown<CDlgConfirmCloseBtnMean>([](CDlgConfirmCloseBtnMean* d) { ClickControl(d, 8); });
    CDlgConfirmCloseBtnMean askAgain(main);
    EXPECT_EQ(askAgain.Run(nullptr), IDCANCEL);
    EXPECT_EQ(Stored("CloseMeanMin"), "tip");

    EXPECT_EQ(main->Ids(), (std::vector<std::uint32_t>{CDlgConfirmCloseBtnMean::kExitMessage,
                                                       CDlgConfirmCloseBtnMean::kHideMessage,
                                                       CDlgConfirmCloseBtnMean::kExitMessage}));
}

TEST_F(ExitQuestions, ExitConfirmationWritesOnlyOnYes) {
    WhenShown<CDlgConfirmExit>([](CDlgConfirmExit* d) {
        ClickControl(d, 6);
        ClickControl(d, 8);
    });
    EXPECT_FALSE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_EQ(Stored("ConfirmExit"), "<none>");

    WhenShown<CDlgConfirmExit>([](CDlgConfirmExit* d) { ClickControl(d, 1); });
    EXPECT_FALSE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_EQ(Stored("ConfirmExit"), "<none>");

    WhenShown<CDlgConfirmExit>([](CDlgConfirmExit* d) { ClickControl(d, 7); });
    EXPECT_TRUE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_EQ(Stored("ConfirmExit"), "1");

    WhenShown<CDlgConfirmExit>([](CDlgConfirmExit* d) {
        ClickControl(d, 6);
        ClickControl(d, 7);
    });
    EXPECT_TRUE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_EQ(Stored("ConfirmExit"), "0");

    // Switched off: the program ends without asking.
    EXPECT_TRUE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_EQ(CDlgConfirmExit::OpenCount(), 0);
}

TEST_F(ExitQuestions, SecondExitWhileTheConfirmationIsOpenDoesNothing) {
    bool secondAnswer = true;
    int windowsWhileOpen = 0;
    WhenShown<CDlgConfirmExit>([&](CDlgConfirmExit* d) {
        secondAnswer = CDlgConfirmExit::ConfirmExit(nullptr);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* n = NativeWindow::FromHwnd(w);
            if (n && n->isVisible() && dynamic_cast<CDlgConfirmExit*>(n->Handler()))
                ++windowsWhileOpen;
        }
        ClickControl(d, 8);
    });
    EXPECT_FALSE(CDlgConfirmExit::ConfirmExit(nullptr));
    EXPECT_FALSE(secondAnswer);
    EXPECT_EQ(windowsWhileOpen, 1);
    EXPECT_EQ(CDlgConfirmExit::OpenCount(), 0);
}

}  // namespace
}  // namespace vm::test
