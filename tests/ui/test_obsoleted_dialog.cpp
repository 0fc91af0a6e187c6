// Undoing an isolation in the window: an add-on an update run moved aside, listed and
// restored in the dialog (also from the unknown add-ons question), deleted only once
// confirmed, and the mark on an add-on the next run would move aside again, checked against
// what that run then does.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>

#include "DialogTestSupport.h"
#include "platform/FileUtil.h"
#include "tests/update/UpdateRunEnv.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/CDlgObsoleted.h"
#include "ui/QtMessageTarget.h"
#include "update/IsolationForecast.h"
#include "update/ObsoletedAddOns.h"
#include "update/UpdateRunLock.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

class ObsoletedDialog : public UpdateRunEnv {
  protected:
    void SetUp() override {
        DialogApp();
        UpdateRunEnv::SetUp();
    }
    void Put(const std::string& below, const std::string& bytes = "mine") {
        fs::create_directories((game / "Interface" / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface" / below, bytes));
    }
    // A run that isolates every unknown file.
    void RunIsolating() {
        m_confirmDelete = 1;
        Run();
        m_confirmDelete = 0;
    }
    std::string Folder() const { return game.string() + "/"; }
    static QTreeWidgetItem* Row(CDlgObsoleted& d, const std::string& name) {
        for (int i = 0; i < d.List()->topLevelItemCount(); ++i)
            if (d.List()->topLevelItem(i)->text(CDlgObsoleted::kName).toStdString() == name)
                return d.List()->topLevelItem(i);
        return nullptr;
    }
    static void Click(CDlgObsoleted& d, const char* button) {
        auto* b = d.findChild<QPushButton*>(button);
        ASSERT_NE(b, nullptr) << button;
        ASSERT_TRUE(b->isEnabled()) << button;
        b->click();
    }
};

TEST_F(ObsoletedDialog, AnAddOnIsolatedByARunIsListedAndRestored) {
    Publish({{"Listed/l.lua", "l"}});
    Put("Foo/a.lua", "foo-a");
    Put("Foo/sub/b.lua", "foo-b");
    RunIsolating();
    ASSERT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Foo/a.lua"), "foo-a");
    ASSERT_FALSE(fs::exists(game / "Interface/Foo"));

    theApp().WriteProfileInt("Update", "DeleteMode", 1);
    CDlgObsoleted dialog(nullptr, Folder());
    QTreeWidgetItem* row = Row(dialog, "Foo");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(CDlgObsoleted::kFiles), "2");
    EXPECT_FALSE(row->text(CDlgObsoleted::kMovedAt).isEmpty());
    EXPECT_FALSE(dialog.findChild<QPushButton*>("restore")->isEnabled());  // nothing ticked
    row->setCheckState(CDlgObsoleted::kName, Qt::Checked);
    Click(dialog, "restore");

    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/Foo/a.lua"), "foo-a");
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/Foo/sub/b.lua"), "foo-b");
    EXPECT_FALSE(fs::exists(game / "Interface.obsoleted"));
    row = Row(dialog, "Foo");
    ASSERT_NE(row, nullptr);
    const std::string note = row->text(CDlgObsoleted::kNote).toStdString();
    EXPECT_NE(note.find("下次更新会再次隔离"), std::string::npos) << note;
    EXPECT_NE(note.find("DeleteMode=1"), std::string::npos) << note;

    // And so the next run does.
    RunIsolating();
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Foo/a.lua"), "foo-a");
}

TEST_F(ObsoletedDialog, TheMarkAgreesWithWhatTheNextRunDoes) {
    Publish({{"Listed/l.lua", "l"}});
    Put("Mine/a.lua");
    Put("Ours/a.lua");
    Put("Ours/info.ini", "Title=Ours\r\nX-Revision=Velmora\r\n");
    RunIsolating();
    ASSERT_TRUE(RestoreObsoleted(Folder(), "Mine").ok);
    ASSERT_TRUE(RestoreObsoleted(Folder(), "Ours").ok);
    const std::vector<std::string> list = LastListPaths();
    ASSERT_EQ(list, std::vector<std::string>{"Interface/Listed/l.lua"});

    // Asking: the player's own add-on is asked about, ours goes without a question.
    theApp().WriteProfileInt("Update", "DeleteMode", 0);
    EXPECT_EQ(ForecastIsolation(Folder(), "Mine", list).next, NextRun::Asks);
    EXPECT_EQ(ForecastIsolation(Folder(), "Ours", list).next, NextRun::Isolates);
    // An add-on the list carries whole stays.
    EXPECT_EQ(ForecastIsolation(Folder(), "Listed", list).next, NextRun::Stays);

    // Keeping: the player's own stays, ours still goes; the run that follows agrees.
    theApp().WriteProfileInt("Update", "DeleteMode", 2);
    EXPECT_EQ(ForecastIsolation(Folder(), "Mine", list).next, NextRun::Stays);
    const IsolationForecast ours = ForecastIsolation(Folder(), "Ours", list);
    EXPECT_EQ(ours.next, NextRun::Isolates);
    EXPECT_NE(ours.reason.find("DeleteMode=2"), std::string::npos) << ours.reason;
    Run();  // the keep answer, as DeleteMode 2 gives it
    EXPECT_EQ(Installed("Mine/a.lua"), "mine");
    EXPECT_FALSE(fs::exists(game / "Interface/Ours"));
    EXPECT_TRUE(fs::exists(game / "Interface.obsoleted/Ours/a.lua"));

    // Without a list of an earlier run there is nothing to judge by.
    EXPECT_EQ(ForecastIsolation(Folder(), "Mine", {}).next, NextRun::Unknown);
}

TEST_F(ObsoletedDialog, DeletesOnlyOnceConfirmedAndNeverDuringARun) {
    Put("Foo/a.lua");
    Put("Bar/b.lua");
    Publish({{"Listed/l.lua", "l"}});
    RunIsolating();
    CDlgObsoleted dialog(nullptr, Folder());
    ASSERT_TRUE(dialog.Check("Foo"));
    prompter->Queue(IDNO);
    Click(dialog, "delete");
    EXPECT_TRUE(fs::exists(game / "Interface.obsoleted/Foo/a.lua"));
    ASSERT_EQ(prompter->History().size(), 1u);
    EXPECT_EQ(prompter->History()[0].caption, "删除已隔离的插件");

    {
        // A run in progress (here: its lock) holds every move back.
        auto run = UpdateRunLock::TryAcquire(Folder());
        ASSERT_NE(run, nullptr);
        prompter->Queue(IDYES);
        Click(dialog, "delete");
        EXPECT_TRUE(fs::exists(game / "Interface.obsoleted/Foo/a.lua"));
        EXPECT_EQ(dialog.Message()->text().toStdString(), "正在更新插件，请等更新结束后再试。");
        Click(dialog, "restore");
        EXPECT_FALSE(fs::exists(game / "Interface/Foo"));
    }
    prompter->Queue(IDYES);
    Click(dialog, "delete");
    EXPECT_FALSE(fs::exists(game / "Interface.obsoleted/Foo"));
    EXPECT_TRUE(fs::exists(game / "Interface.obsoleted/Bar/b.lua"));
    EXPECT_EQ(Row(dialog, "Foo"), nullptr);
    EXPECT_NE(Row(dialog, "Bar"), nullptr);
}

TEST_F(ObsoletedDialog, OpensFromTheUnknownAddOnsQuestionsDetails) {
    // An earlier run isolated Old; this run asks about New.
    Publish({{"Listed/l.lua", "l"}});
    Put("Old/o.lua", "old");
    RunIsolating();
    Put("New/n.lua", "new");

    bool listed = false;
    WhenShown<CDlgDeleteConfirm>([&](CDlgDeleteConfirm* question) {
        ClickControl(question, 1010);  // details
        // The question's own run waits for the answer: restoring is allowed meanwhile.
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [&, poll, question] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = dynamic_cast<CDlgObsoleted*>(w);
                if (!d || !d->isVisible()) continue;
                poll->stop();
                poll->deleteLater();
                listed = d->Check("Old");
                d->RestoreChecked();
                d->accept();
                ClickControl(question, 1012);  // keep New
                return;
            }
        });
        poll->start();
        ClickControl(question, 1013);
    });
    QObject window;
    bool ended = false;
    auto main = QtMessageTarget::Create(&window, [&](const Message& m) -> std::intptr_t {
        if (m.id == WM_VM_CONFIRM_DELETE)
            return CDlgDeleteConfirm::Answer(
                nullptr, *reinterpret_cast<const std::vector<std::string>*>(m.wParam),
                *reinterpret_cast<const std::vector<std::string>*>(m.lParam));
        if (m.id == WM_VM_UPDATE_END) ended = true;
        return 0;
    });
    g_cancelUpdate.store(0);
    g_scanDone.Reset();
    auto scan = std::make_unique<CChecksumThread>();
    scan->m_gameFolder = Folder();
    ASSERT_TRUE(CWorkerThread::Start(std::move(scan), CWorkerThread::Priority::Lowest));
    auto run = std::make_unique<CUpdateThread>();
    run->m_pMainWnd = main;
    ASSERT_TRUE(CWorkerThread::Start(std::move(run)));
    ASSERT_TRUE(WaitFor([&] { return ended && CWorkerThread::LiveCount() == 0; }, 30000));

    EXPECT_TRUE(listed);
    EXPECT_EQ(Installed("Old/o.lua"), "old");
    EXPECT_EQ(Installed("New/n.lua"), "new");
    EXPECT_FALSE(fs::exists(game / "Interface.obsoleted"));
}

}  // namespace
}  // namespace vm::test
