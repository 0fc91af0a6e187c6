#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDlgUploadCombatLog.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

class CombatLogDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApp();
        fs::create_directories(temp.Path() / "prog");
        theApp().SetProgramDir(temp.Path() / "prog");
        theApp().Game().folder.Set({});
        theApp().CombatLog().pieces.Set({
            {"6/14 20:01:12.250", "6/14 20:06:40.875", "熔火之心", true, false, {}},
            {"6/14 20:31:02.000", "6/14 20:33:59.500", "黑翼之巢", false, false, {}},
        });
    }
    void TearDown() override {
        EXPECT_TRUE(WaitFor([] { return CWorkerThread::LiveCount() == 0; }));
        theApp().CombatLog().pieces.Set({});
    }
    static std::vector<bool> Selected() {
        std::vector<bool> out;
        for (const COMBAT_LOG_PIECE& p : theApp().CombatLog().pieces.Get())
            out.push_back(p.selected);
        return out;
    }

    ScopedTempDir temp;
};

TEST_F(CombatLogDialog, StartsWithEveryMarkClearedAndASecondPressCancels) {
    CDlgUploadCombatLog dlg;
    dlg.show();
    auto* list = dlg.findChild<QTreeWidget*>("1040");
    auto* start = dlg.findChild<QPushButton*>("1");
    auto* progress = dlg.findChild<QProgressBar*>("1150");
    auto* status = dlg.findChild<QLabel*>("1110");
    ASSERT_TRUE(list && start && progress && status);
    EXPECT_EQ(dlg.windowTitle(), "日志上传");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(1), "击杀");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "熔火之心");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "成功");
    EXPECT_EQ(list->topLevelItem(1)->text(1), "失败");
    EXPECT_EQ(list->topLevelItem(1)->text(2), "6/14 20:31:02.000");
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_FALSE(progress->isVisible());

    Click(dlg.findChild<QPushButton*>("3"));  // 反选
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);

    EXPECT_EQ(start->text(), "开始上传");
    Click(start);
    EXPECT_EQ(Selected(), (std::vector<bool>{false, false}));
    // The worker runs anyway and reports.
    ASSERT_TRUE(WaitFor([&] { return start->text() == "终止上传" && start->isEnabled(); }));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->maximum(), 99);
    EXPECT_EQ(status->text(), "上传日志……");

    Click(start);
    ASSERT_TRUE(WaitFor([&] { return start->text() == "开始上传" && start->isEnabled(); }));
    EXPECT_FALSE(progress->isVisible());
    ASSERT_TRUE(WaitFor([] { return CWorkerThread::LiveCount() == 0; }));
    QApplication::processEvents();
    EXPECT_EQ(status->text(), "上传取消。");
}

TEST_F(CombatLogDialog, MarksReachThePiecesAndClosingStopsTheWorker) {
    CDlgUploadCombatLog dlg;
    dlg.show();
    auto* list = dlg.findChild<QTreeWidget*>("1040");
    auto* start = dlg.findChild<QPushButton*>("1");
    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    Click(start);
    EXPECT_EQ(Selected(), (std::vector<bool>{true, false}));
    ASSERT_TRUE(WaitFor([&] { return start->text() == "终止上传"; }));
    Click(dlg.findChild<QPushButton*>("2"));
    EXPECT_FALSE(dlg.isVisible());
    // Without the stop the worker would step for another hundred seconds.
    EXPECT_TRUE(WaitFor([] { return CWorkerThread::LiveCount() == 0; }, 5000));
}

}  // namespace
}  // namespace vm::test
