// The settings dialog: what it shows for the stored values and what OK writes, step by step.

#include <gtest/gtest.h>

#include <filesystem>

#include "DialogTestSupport.h"
#include "app/GameFolder.h"
#include "app/Prompter.h"
#include "platform/FileUtil.h"
#include "skin/CUIEdit.h"
#include "skin/CUIPageSheet.h"
#include "skin/IUIChecked.h"
#include "ui/CSettingDialog.h"
#include "ui/DialogParts.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

class SettingDialog : public DialogTest {
  protected:
    int Int(const char* section, const char* key) {
        return theApp().GetProfileInt(section, key, -99);
    }
    std::string Text(const char* section, const char* key) {
        return theApp().GetProfileString(section, key, "<none>");
    }
    static void Page(CSettingDialog* d, int index) {
        d->Sheet()->SelectItem(index);
        d->SendMessage(WM_PAINT);
    }
};

TEST_F(SettingDialog, NeverChosenMirrorShowsTelecomAndSavesIt) {
    theApp().WriteProfileInt("Update", "Server", 0);
    theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    bool telecom = false, netcom = true, minimise = false, onceEnabled = true;
    WhenShown<CSettingDialog>([&](CSettingDialog* d) {
        telecom = IsChecked(*d, 1009);
        netcom = IsChecked(*d, 1010);
        ClickControl(d, 1004);  // automatic update off: 每天只更新一次 greys out
        onceEnabled = d->FindControl(1006)->IsEnabled();
        Page(d, 2);
        minimise = IsChecked(*d, 1025);
        ClickControl(d, 1030);
    });
    CSettingDialog settings;
    EXPECT_EQ(settings.Run(nullptr), IDOK);
    EXPECT_TRUE(telecom);
    EXPECT_FALSE(netcom);
    EXPECT_FALSE(onceEnabled);
    EXPECT_EQ(Int("Update", "Server"), 1);
    EXPECT_EQ(Int("Update", "AutoUpdate"), 0);
    EXPECT_EQ(Int("Update", "OnceEveryDay"), 1);  // kept, unlike the wizard
    EXPECT_EQ(Int("Update", "AutoRun"), 0);
    EXPECT_EQ(Int("Path", "PathType"), 0);
    // An absent CloseMeanMin shows 最小化到托盘 here, and saving writes it.
    EXPECT_TRUE(minimise);
    EXPECT_EQ(Text("Misc", "CloseMeanMin"), "true");
    EXPECT_EQ(Int("Misc", "ConfirmExit"), 1);
    EXPECT_EQ(Int("Update", "DeleteMode"), 0);
}

TEST_F(SettingDialog, FolderAsGamePathIsRefusedOnTheLocationPage) {
    fs::create_directories(dir / "Tovrin");
    theApp().WriteProfileInt("Path", "PathType", 1);
    theApp().WriteProfileString("Path", "CustomPath", (dir / "Tovrin").string());
    theApp().WriteProfileInt("Update", "Server", 2);
    std::string message;
    int pageAtMessage = -1;
    bool stillOpen = false;
    WhenShown<CSettingDialog>([&](CSettingDialog* d) {
        ClickControl(d, 1009);  // the update options change: they are written first
        Page(d, 2);
        ClickControl(d, 1023);  // not written: the location step fails before
        WhenShown<CMessageBoxWnd>([&, d](CMessageBoxWnd* box) {
            pageAtMessage = d->Sheet()->GetCurSel();
            message = box->Manager().FindControl(CMessageBoxWnd::kMessageId)->GetText();
            QTest::keyClick(box->GetHWND(), Qt::Key_Return);
        });
        ClickControl(d, 1030);
        stillOpen = Shown<CSettingDialog>() == d;
        ClickControl(d, 1031);
    });
    CSettingDialog settings;
    EXPECT_EQ(settings.Run(nullptr), IDCANCEL);
    EXPECT_EQ(message, "<c #F4E9FF>指定的文件是目录。请重新指定。</c>");
    EXPECT_EQ(pageAtMessage, 1);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Int("Update", "Server"), 1);
    EXPECT_EQ(Int("Update", "AutoUpdate"), 1);
    EXPECT_EQ(Int("Update", "DeleteMode"), -99);
    EXPECT_EQ(Text("Misc", "CloseMeanMin"), "<none>");
}

TEST_F(SettingDialog, EmptyAndMissingPathsThenABrowsedOneIsSaved) {
    const fs::path exe = dir / "game" / "Tovrin.exe";
    fs::create_directories(exe.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(exe, "MZ"));
    theApp().Game().folder.Set("/stale/");
    std::vector<std::string> messages;
    messages.reserve(4);
    bool editEnabledBefore = true;
    WhenShown<CSettingDialog>([&](CSettingDialog* d) {
        Page(d, 1);
        editEnabledBefore = d->FindControl(1018)->IsEnabled();
        ClickControl(d, 1015);
        std::string* slot = &messages.emplace_back();
        AnswerNextMessageBox(slot);
        ClickControl(d, 1030);
        static_cast<CUIEdit*>(d->FindControl(1018))->SetText((dir / "nothing.exe").string(), true);
        slot = &messages.emplace_back();
        AnswerNextMessageBox(slot);
        ClickControl(d, 1030);
        ClickControl(d, 1019);
        Page(d, 2);
        ClickControl(d, 1028);
        ClickControl(d, 1029);
        ClickControl(d, 1030);
    });
    CSettingDialog settings;
    settings.SetFileChooser([&](HWND) -> std::optional<std::string> { return exe.string(); });
    EXPECT_EQ(settings.Run(nullptr), IDOK);
    EXPECT_FALSE(editEnabledBefore);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"<c #F4E9FF>路径不能为空，请指定Tovrin的主运行文件。</c>",
                                        "<c #F4E9FF>指定的文件不存在。请重新指定。</c>"}));
    EXPECT_EQ(Int("Path", "PathType"), 1);
    EXPECT_EQ(Text("Path", "CustomPath"), exe.string());
    EXPECT_EQ(GameFolder(), exe.parent_path().string() + "/");
    EXPECT_EQ(Text("Misc", "CloseMeanMin"), "tip");
    EXPECT_EQ(Int("Misc", "ConfirmExit"), 0);
}

TEST_F(SettingDialog, CancelWritesNothing) {
    theApp().WriteProfileInt("Update", "DeleteMode", 1);
    const std::string before =
        platform::ReadWholeFile(theApp().ProfilePath()).value_or("<no file>");
    bool isolateShown = false;
    WhenShown<CSettingDialog>([&](CSettingDialog* d) {
        isolateShown = IsChecked(*d, 1022);
        ClickControl(d, 1004);
        ClickControl(d, 1000);
    });
    CSettingDialog settings;
    EXPECT_EQ(settings.Run(nullptr), IDCANCEL);
    EXPECT_TRUE(isolateShown);
    EXPECT_EQ(platform::ReadWholeFile(theApp().ProfilePath()).value_or("<no file>"), before);
}

}  // namespace
}  // namespace vm::test
