#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CWizardPageFindGame.h"
#include "ui/CWizardPageSelectVersion.h"
#include "ui/CWizardPageUpdate.h"
#include "ui/CWizardSheet.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p, const std::string& bytes = "MZ") {
    fs::create_directories(p.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(p, bytes));
}

template <class T>
T* Child(QWidget* w, int id) {
    T* c = w->findChild<T*>(QString::number(id));
    EXPECT_NE(c, nullptr) << id;
    return c;
}

class SetupWizard : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApp();
        fs::create_directories(root / "prog");
        theApp().SetProgramDir(root / "prog");
        theApp().Game().folder.Set({});
        theApp().Game().executable.Set({});
        theApp().PublishedState().sets.Set({"TVRN", "TVRN-Classic"});
        ::setenv("WINEPREFIX", (root / "wine").c_str(), 1);
        // The launchers' prefixes are looked for in a home of the test's own.
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* value = ::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        ::setenv("HOME", (root / "home").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("WINEPREFIX");
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        theApp().PublishedState().sets.Set({});
        theApp().Game().folder.Set({});
        theApp().Game().executable.Set({});
    }
    // A Wine prefix whose registry names the game's folder (written as given).
    void Registry(const std::string& installPath) {
        const fs::path prefix = root / "wine";
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(prefix / "drive_c");
        fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
        Touch(prefix / "system.reg",
              "WINE REGISTRY Version 2\n#arch=win32\n\n[Software\\\\Halvar\\\\TVRN] 1\n"
              "\"InstallPath\"=\"" +
                  installPath + "\"\n");
    }
    std::string Ini() const {
        return platform::ReadWholeFile(root / "prog/Velmora.ini").value_or("");
    }

    static void Next(CWizardSheet& s) { Click(s.button(QWizard::NextButton)); }

    ScopedTempDir temp;
    const fs::path root = temp.Path();
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(SetupWizard, CaptionPicturesAndPages) {
    CWizardSheet sheet;
    EXPECT_EQ(sheet.windowTitle(), "Velmora设置向导");
    EXPECT_FALSE(sheet.testOption(QWizard::HaveHelpButton));
    EXPECT_EQ(sheet.pageIds(), (QList<int>{0, 1, 2, 3, 4}));
    // Both pictures are compiled-in JPEGs that our decoder read.
    QFile jpeg(":/jpg/4.jpg");
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpeg.read(3) == QByteArray("\xFF\xD8\xFF"));
    for (int id : {0, 4}) {
        EXPECT_EQ(sheet.page(id)->pixmap(QWizard::WatermarkPixmap).size(), QSize(164, 314));
        EXPECT_TRUE(sheet.page(id)->title().isEmpty());
    }
    for (int id : {1, 2, 3}) {
        EXPECT_EQ(sheet.page(id)->pixmap(QWizard::LogoPixmap).size(), QSize(49, 49));
        EXPECT_FALSE(sheet.page(id)->subTitle().isEmpty());
    }
    EXPECT_EQ(sheet.page(1)->title(), "Tovrin目录");
    EXPECT_EQ(sheet.page(3)->subTitle(), "选择你想要更新的插件以及更新方式。");
}

TEST_F(SetupWizard, DetectsOnlyWhileNoChoiceIsStoredAndCollapsesTrailingSeparators) {
    Registry("C:\\\\Games\\\\Tovrin\\\\\\\\\\\\");
    Touch(root / "wine/drive_c/Games/Tovrin/Tovrin.exe");
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        ASSERT_EQ(sheet.currentId(), CWizardSheet::kFindGame);
        auto* edit = Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId);
        EXPECT_TRUE(Child<QRadioButton>(&sheet, CWizardPageFindGame::kCustomId)->isChecked());
        const std::string path = edit->text().toStdString();
        EXPECT_TRUE(path.ends_with("/Games/Tovrin/Tovrin.exe")) << path;
        EXPECT_EQ(path.find("//"), std::string::npos) << path;
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_TRUE(sheet.button(QWizard::NextButton)->isEnabled());
    }
    // With PathType 0 the registry is never looked at: the program-folder choice stands.
    theApp().WriteProfileInt("Path", "PathType", 0);
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        EXPECT_TRUE(
            Child<QRadioButton>(&sheet, CWizardPageFindGame::kProgramFolderId)->isChecked());
        EXPECT_TRUE(Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId)->text().isEmpty());
        EXPECT_FALSE(Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId)->isEnabled());
    }
}

TEST_F(SetupWizard, DetectionOffersEveryPlaceTheLaunchersKeepTheGame) {
    // Nothing in the program folder or the Wine prefix; one game in Bottles, one in Lutris.
    const fs::path bottle = root / "home/.local/share/bottles/bottles/Tovrin";
    Touch(bottle / "drive_c/Games/Tovrin/Tovrin.exe");
    Touch(bottle / "system.reg", "WINE REGISTRY Version 2\n");
    Touch(root / "elsewhere/Tovrin/Tovrin.exe");
    Touch(root / "home/.config/lutris/games/tovrin.yml",
          "game:\n  exe: " + (root / "elsewhere/Tovrin/Tovrin.exe").string() + "\n");
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        auto* list = Child<QComboBox>(&sheet, CWizardPageFindGame::kCandidatesId);
        auto* edit = Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId);
        ASSERT_TRUE(list->isVisible());
        ASSERT_EQ(list->count(), 2);
        EXPECT_TRUE(list->itemText(0).endsWith("（Lutris）")) << list->itemText(0).toStdString();
        EXPECT_TRUE(list->itemText(1).endsWith("（Bottles）")) << list->itemText(1).toStdString();
        // The first is proposed; choosing the other fills the path with it.
        EXPECT_EQ(edit->text().toStdString(), (root / "elsewhere/Tovrin/Tovrin.exe").string());
        EXPECT_TRUE(Child<QRadioButton>(&sheet, CWizardPageFindGame::kCustomId)->isChecked());
        list->setCurrentIndex(1);
        emit list->activated(1);
        EXPECT_EQ(edit->text().toStdString(),
                  (bottle / "drive_c/Games/Tovrin/Tovrin.exe").string());
        Next(sheet);
        EXPECT_EQ(sheet.currentId(), CWizardSheet::kSelectVersion);
        EXPECT_EQ(sheet.FindGamePage()->m_path.toStdString(),
                  (bottle / "drive_c/Games/Tovrin/Tovrin.exe").string());
    }
    // One place only: proposed, with no list to choose from.
    fs::remove_all(root / "home/.config/lutris");
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        EXPECT_FALSE(Child<QComboBox>(&sheet, CWizardPageFindGame::kCandidatesId)->isVisible());
        EXPECT_EQ(Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId)->text().toStdString(),
                  (bottle / "drive_c/Games/Tovrin/Tovrin.exe").string());
    }
    // A stored choice stands: no list.
    theApp().WriteProfileInt("Path", "PathType", 0);
    Touch(root / "home/.config/lutris/games/tovrin.yml",
          "game:\n  exe: " + (root / "elsewhere/Tovrin/Tovrin.exe").string() + "\n");
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        EXPECT_FALSE(Child<QComboBox>(&sheet, CWizardPageFindGame::kCandidatesId)->isVisible());
        EXPECT_TRUE(
            Child<QRadioButton>(&sheet, CWizardPageFindGame::kProgramFolderId)->isChecked());
    }
}

TEST_F(SetupWizard, FindGamePageButtonsAndMissingExecutable) {
    CWizardSheet sheet;
    sheet.show();
    Next(sheet);
    auto* custom = Child<QRadioButton>(&sheet, CWizardPageFindGame::kCustomId);
    auto* program = Child<QRadioButton>(&sheet, CWizardPageFindGame::kProgramFolderId);
    auto* edit = Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId);
    auto* browse = Child<QPushButton>(&sheet, CWizardPageFindGame::kBrowseId);
    // Nothing found: a custom choice with an empty field, so Next waits for a path.
    EXPECT_TRUE(custom->isChecked());
    EXPECT_FALSE(sheet.button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(sheet.button(QWizard::BackButton)->isEnabled());
    Click(program);
    EXPECT_TRUE(sheet.button(QWizard::NextButton)->isEnabled());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(browse->isEnabled());

    // The program folder has no game: the error box, and the page stays.
    ModalDriver driver;
    Next(sheet);
    EXPECT_EQ(sheet.currentId(), CWizardSheet::kFindGame);
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, "无法找到Tovrin执行文件，请重新指定位置。");
    EXPECT_EQ(driver.boxes[0].title, "错误的位置");
    EXPECT_EQ(driver.boxes[0].icon, QMessageBox::Critical);

    // Browsing fills the field through the file dialog.
    Click(custom);
    EXPECT_TRUE(edit->isEnabled());
    Touch(root / "game/Tovrin.exe");
    driver.Choose(QString::fromStdString((root / "game/Tovrin.exe").string()));
    Click(browse);
    ASSERT_EQ(driver.fileDialogs.size(), 1u);
    EXPECT_EQ(driver.fileDialogs[0].nameFilters, QStringList{"可执行文件 (*.exe)"});
    ASSERT_FALSE(driver.fileDialogs[0].proposed.isEmpty());
    EXPECT_TRUE(driver.fileDialogs[0].proposed.front().endsWith("/Tovrin.exe"));
    EXPECT_EQ(edit->text().toStdString(), (root / "game/Tovrin.exe").string());
    EXPECT_TRUE(sheet.button(QWizard::NextButton)->isEnabled());
    edit->clear();
    EXPECT_FALSE(sheet.button(QWizard::NextButton)->isEnabled());
    QTest::keyClicks(edit, QString::fromStdString((root / "game/Tovrin.exe").string()));
    Next(sheet);
    EXPECT_EQ(sheet.currentId(), CWizardSheet::kSelectVersion);
    EXPECT_EQ(driver.boxes.size(), 1u);
}

TEST_F(SetupWizard, FindGamePageTakesOnlyAnExecutableThatIsAFile) {
    fs::create_directories(root / "dir.exe");
    CWizardSheet sheet;
    sheet.show();
    Next(sheet);
    auto* custom = Child<QRadioButton>(&sheet, CWizardPageFindGame::kCustomId);
    auto* program = Child<QRadioButton>(&sheet, CWizardPageFindGame::kProgramFolderId);
    auto* edit = Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId);
    Click(custom);
    QTest::keyClicks(edit, QString::fromStdString((root / "dir.exe").string()));

    // A folder named like the executable is no game: the error box, and the page stays.
    ModalDriver driver;
    Next(sheet);
    EXPECT_EQ(sheet.currentId(), CWizardSheet::kFindGame);
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text, "无法找到Tovrin执行文件，请重新指定位置。");
    EXPECT_EQ(driver.boxes[0].title, "错误的位置");
    EXPECT_EQ(driver.boxes[0].icon, QMessageBox::Critical);

    // The game in the program folder passes without a box.
    Touch(root / "prog" / "Tovrin.exe");
    Click(program);
    Next(sheet);
    EXPECT_EQ(sheet.currentId(), CWizardSheet::kSelectVersion);
    EXPECT_EQ(driver.boxes.size(), 1u);
}

TEST_F(SetupWizard, VersionListPreselectsIgnoringCaseAndBlocksWhenEmpty) {
    theApp().WriteProfileInt("Path", "PathType", 0);
    Touch(root / "prog/Tovrin.exe");
    theApp().WriteProfileString("Update", "Version", "tvrn-classic");
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        Next(sheet);
        ASSERT_EQ(sheet.currentId(), CWizardSheet::kSelectVersion);
        auto* list = Child<QComboBox>(&sheet, CWizardPageSelectVersion::kListId);
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->currentText(), "TVRN-Classic");
        EXPECT_TRUE(sheet.button(QWizard::NextButton)->isEnabled());
    }
    theApp().PublishedState().sets.Set({});
    {
        CWizardSheet sheet;
        sheet.show();
        Next(sheet);
        Next(sheet);
        auto* list = Child<QComboBox>(&sheet, CWizardPageSelectVersion::kListId);
        EXPECT_FALSE(list->isEnabled());
        EXPECT_FALSE(sheet.button(QWizard::NextButton)->isEnabled());
        EXPECT_TRUE(sheet.button(QWizard::BackButton)->isEnabled());
        sheet.next();
        EXPECT_EQ(sheet.currentId(), CWizardSheet::kSelectVersion);
    }
}

// Drives the modal wizard that Run shows, page by page, from inside its loop.
void DriveWizard(const std::function<void(CWizardSheet&)>& script) {
    QTimer::singleShot(0, [script] {
        ASSERT_TRUE(
            WaitFor([] { return qobject_cast<CWizardSheet*>(QApplication::activeModalWidget()); }));
        script(*qobject_cast<CWizardSheet*>(QApplication::activeModalWidget()));
    });
}

TEST_F(SetupWizard, CancelWritesNothing) {
    Touch(root / "prog/Velmora.ini", "[Upload]\r\nFirstRun=0\r\n");
    const std::string before = Ini();
    DriveWizard([](CWizardSheet& sheet) {
        Click(sheet.button(QWizard::NextButton));
        Click(Child<QRadioButton>(&sheet, CWizardPageFindGame::kProgramFolderId));
        Click(sheet.button(QWizard::CancelButton));
    });
    EXPECT_FALSE(CWizardSheet::Run(nullptr));
    EXPECT_EQ(Ini(), before);
}

TEST_F(SetupWizard, FinishWritesTheResultsInOrderAndTheGameFolderFollows) {
    Touch(root / "game/Tovrin.exe");
    theApp().Game().folder.Set((root / "prog").string() + "/");  // cached before the run
    const std::string exe = (root / "game/Tovrin.exe").string();
    DriveWizard([exe](CWizardSheet& sheet) {
        auto click = [](QWidget* w) { Click(w); };
        click(sheet.button(QWizard::NextButton));
        QTest::keyClicks(Child<QLineEdit>(&sheet, CWizardPageFindGame::kPathId),
                         QString::fromStdString(exe));
        click(sheet.button(QWizard::NextButton));
        auto* list = Child<QComboBox>(&sheet, CWizardPageSelectVersion::kListId);
        list->setCurrentIndex(1);
        click(sheet.button(QWizard::NextButton));
        auto* autoUpdate = Child<QCheckBox>(&sheet, CWizardPageUpdate::kAutoUpdateId);
        auto* once = Child<QCheckBox>(&sheet, CWizardPageUpdate::kOnceEveryDayId);
        EXPECT_TRUE(autoUpdate->isChecked());
        EXPECT_FALSE(once->isChecked());
        EXPECT_TRUE(once->isEnabled());
        click(once);
        click(autoUpdate);
        EXPECT_FALSE(once->isEnabled());
        EXPECT_TRUE(once->isChecked());
        click(Child<QCheckBox>(&sheet, CWizardPageUpdate::kAutoRunId));
        click(sheet.button(QWizard::NextButton));
        // Nothing is written before Finish.
        EXPECT_EQ(theApp().GetProfileInt("Path", "PathType", -1), -1);
        click(sheet.button(QWizard::FinishButton));
    });
    EXPECT_TRUE(CWizardSheet::Run(nullptr));

    // Every key is new, so the file holds them in the order they were written.
    const std::string ini = Ini();
    std::size_t at = 0;
    for (const char* key : {"PathType=1", "CustomPath=", "Version=TVRN-Classic", "AutoUpdate=0",
                            "OnceEveryDay=0", "AutoRun=1"}) {
        const std::size_t found = ini.find(key, at);
        ASSERT_NE(found, std::string::npos) << key << " in\n" << ini;
        at = found;
    }
    EXPECT_EQ(GameFolder(), (root / "game").string() + "/");
    EXPECT_EQ(GameExecutable(), exe);
}

}  // namespace
}  // namespace vm::test
