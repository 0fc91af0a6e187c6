#include <gtest/gtest.h>
#include <stdlib.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <map>
#include <string>

#include "app/CVelmoraApp.h"
#include "archive/ZipArchive.h"
#include "net/AccountSettings.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CDlgExport.h"
#include "ui/CDlgImport.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

std::string Read(const fs::path& path) {
    return platform::ReadWholeFile(path).value_or("<missing>");
}

std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder))
        out[fs::relative(e.path(), folder).generic_string()] =
            e.is_directory() ? "<dir>" : Read(e.path());
    return out;
}

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

template <class T>
T* Child(QWidget* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
}

class AccountDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApp();
        fs::create_directories(root / "prog");
        fs::create_directories(root / "tmp");
        ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
        theApp().SetProgramDir(root / "prog");
        theApp().SetPrompter(prompter);
        theApp().WriteProfileInt("Path", "PathType", 1);
        theApp().WriteProfileString("Path", "CustomPath", (root / "game/Tovrin.exe").string());
        theApp().Game().folder.Set({});
        Write(Account("Alice") / "ui.ela", "Alice's ela");
        Write(Account("Alice") / "VM_Hive/hive.ini", "hive");
        Write(Account("Alice") / "VM_Hive/notes.lua", "left out");
        Write(Account("Bob") / "b.ela", "Bob");
    }
    void TearDown() override {
        theApp().SetPrompter(nullptr);
        ::unsetenv("TMPDIR");
    }
    fs::path Account(const std::string& name = {}) const {
        return name.empty() ? root / "game/Account" : root / "game/Account" / name;
    }
    static void Select(QTreeWidget* list, int row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(item).center());
    }

    ScopedTempDir temp;
    const fs::path root = temp.Path();
    std::shared_ptr<ScriptedPrompter> prompter = std::make_shared<ScriptedPrompter>();
};

TEST_F(AccountDialogs, ExportListsTheAccountsAndWritesBesideTheAccountFolder) {
    CDlgExport dlg;
    dlg.show();
    auto* list = Child<QTreeWidget>(&dlg, "1040");
    auto* edit = Child<QLineEdit>(&dlg, "1025");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), "帐号名称");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Alice");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Bob");

    ModalDriver driver;
    // Nothing chosen yet.
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, "您输入的参数有误，请选择正确的参数。");
    EXPECT_EQ(driver.boxes[0].title, "错误");
    EXPECT_EQ(driver.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(dlg.isVisible());

    Select(list, 0);
    const fs::path target = root / "game/Alice.wwc";
    EXPECT_EQ(edit->text(), Q(target));
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 2u);
    EXPECT_EQ(driver.boxes[1].text, "配置文件<" + Q(target) + ">已经被成功导出！");
    EXPECT_EQ(driver.boxes[1].title, "成功");
    EXPECT_EQ(driver.boxes[1].icon, QMessageBox::Information);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    auto entries = ListZipEntries(Read(target));
    ASSERT_TRUE(entries);
    std::sort(entries->begin(), entries->end());
    EXPECT_EQ(*entries, (std::vector<std::string>{"VM_Hive/", "VM_Hive/hive.ini", "ui.ela"}));
}

TEST_F(AccountDialogs, ExportAsksBeforeOverwritingAndBrowsesForAnotherFile) {
    const fs::path target = root / "game/Bob.wwc";
    Write(target, "an older export");
    CDlgExport dlg;
    dlg.show();
    Select(Child<QTreeWidget>(&dlg, "1040"), 1);

    ModalDriver driver;
    driver.Answer(QMessageBox::No);
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, "配置文件已经存在，你想要覆盖它吗？");
    EXPECT_EQ(driver.boxes[0].title, "疑问");
    EXPECT_EQ(Read(target), "an older export");
    EXPECT_TRUE(dlg.isVisible());

    driver.Answer(QMessageBox::Yes);
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 3u);
    EXPECT_EQ(driver.boxes[2].title, "成功");
    EXPECT_EQ(ReadZipEntry(Read(target), "b.ela"), "Bob");

    // Browse: the save dialog proposes the account's file; the choice lands in the edit.
    CDlgExport again;
    again.show();
    Select(Child<QTreeWidget>(&again, "1040"), 0);
    fs::create_directories(root / "backup");
    driver.Choose(Q(root / "backup/mine.wwc"));
    Click(Child<QPushButton>(&again, "1041"));
    ASSERT_EQ(driver.fileDialogs.size(), 1u);
    EXPECT_TRUE(driver.fileDialogs[0].save);
    EXPECT_EQ(driver.fileDialogs[0].nameFilters,
              (QStringList{"帐号配置文件 (*.wwc)", "所有文件 (*.*)"}));
    EXPECT_EQ(driver.fileDialogs[0].defaultSuffix, "wwc");
    ASSERT_FALSE(driver.fileDialogs[0].proposed.isEmpty());
    EXPECT_TRUE(driver.fileDialogs[0].proposed.front().endsWith("/Alice.wwc"));
    EXPECT_EQ(Child<QLineEdit>(&again, "1025")->text(), Q(root / "backup/mine.wwc"));

    // A target that cannot be written: the failure box, and the dialog stays.
    Child<QLineEdit>(&again, "1025")->setText(Q(root / "no/such/folder/x.wwc"));
    Click(Child<QPushButton>(&again, "1"));
    EXPECT_EQ(driver.boxes.back().text, "导出配置文件失败！请访问Velmora支持论坛获取技术支持！");
    EXPECT_TRUE(again.isVisible());
}

TEST_F(AccountDialogs, ImportProposesTheNameAndReplacesTheAccountCompletely) {
    // An export of a different Alice, in a file with a second dot.
    Write(root / "src/Account/Alice/fresh.ela", "fresh");
    Write(root / "src/Account/Alice/VM_Hive/new.dat", "new");
    theApp().WriteProfileString("Path", "CustomPath", (root / "src/Tovrin.exe").string());
    const fs::path archive = root / "Alice.backup.wwc";
    ASSERT_TRUE(ExportAccount("Alice", archive));
    theApp().WriteProfileString("Path", "CustomPath", (root / "game/Tovrin.exe").string());
    const auto bob = Tree(Account("Bob"));

    CDlgImport dlg;
    dlg.show();
    ModalDriver driver;
    driver.Choose(Q(archive));
    Click(Child<QPushButton>(&dlg, "1042"));
    ASSERT_EQ(driver.fileDialogs.size(), 1u);
    EXPECT_FALSE(driver.fileDialogs[0].save);
    EXPECT_EQ(Child<QLineEdit>(&dlg, "1025")->text(), Q(archive));
    EXPECT_EQ(Child<QLineEdit>(&dlg, "1043")->text(), "Alice");

    driver.Answer(QMessageBox::No);
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, "该帐号的配置信息已经存在，你是否想要覆盖它以前的配置信息？");
    EXPECT_EQ(driver.boxes[0].title, "提示");
    EXPECT_EQ(Read(Account("Alice") / "ui.ela"), "Alice's ela");

    driver.Answer(QMessageBox::Yes);
    Click(Child<QPushButton>(&dlg, "1"));
    ASSERT_EQ(driver.boxes.size(), 3u);
    EXPECT_EQ(driver.boxes[2].text, "配置文件<" + Q(archive) + ">已经被成功导入到账号<Alice>！");
    EXPECT_EQ(driver.boxes[2].title, "成功");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Tree(Account("Alice")),
              (std::map<std::string, std::string>{
                  {"VM_Hive", "<dir>"}, {"VM_Hive/new.dat", "new"}, {"fresh.ela", "fresh"}}));
    EXPECT_EQ(Tree(Account("Bob")), bob);
}

TEST_F(AccountDialogs, ImportOfABadArchiveLeavesTheOldFolderByteForByte) {
    const auto before = Tree(Account());
    const std::string good = *MakeZip({{"x.ela", std::string(30000, 'x')}});
    const fs::path archive = root / "Alice.wwc";
    for (const std::string& bad :
         {good.substr(0, good.size() * 2 / 3), *MakeZip({{"../../escaped.ela", "x"}})}) {
        Write(archive, bad);
        CDlgImport dlg;
        dlg.show();
        ModalDriver driver;
        Child<QLineEdit>(&dlg, "1025")->setText(Q(archive));
        Child<QLineEdit>(&dlg, "1043")->setText("Alice");
        driver.Answer(QMessageBox::Yes);
        Click(Child<QPushButton>(&dlg, "1"));
        ASSERT_FALSE(driver.boxes.empty());
        EXPECT_EQ(driver.boxes.back().text,
                  "导入配置文件失败！请访问Velmora支持论坛获取技术支持！");
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Tree(Account()), before);
        EXPECT_FALSE(fs::exists(root / "escaped.ela"));
    }

    // Empty fields and names that would leave the Account folder are refused up front.
    CDlgImport dlg;
    dlg.show();
    ModalDriver driver;
    Child<QLineEdit>(&dlg, "1025")->setText(Q(archive));
    for (const char* name : {"", "../Alice", ".."}) {
        Child<QLineEdit>(&dlg, "1043")->setText(name);
        Click(Child<QPushButton>(&dlg, "1"));
        EXPECT_EQ(driver.boxes.back().text, "您输入的参数有误，请选择正确的参数。");
        EXPECT_EQ(driver.boxes.back().title, "错误");
    }
    EXPECT_EQ(Tree(Account()), before);
}

}  // namespace
}  // namespace vm::test
