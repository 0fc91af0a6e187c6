#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/SettingsKeys.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;
using vm::theApp;
namespace settings = vm::settings;

namespace {

class SettingsKeysTest : public ::testing::Test {
  protected:
    void SetUp() override { theApp().SetProgramDir(temp.Path()); }

    std::string Profile() const {
        return platform::ReadWholeFile(theApp().ProfilePath()).value_or("<missing>");
    }

    vm::test::ScopedTempDir temp;
};

TEST_F(SettingsKeysTest, MissingProfileGivesEachReaderItsOwnDefaultAndWritesNothing) {
    struct IntCase {
        settings::IntKey key;
        int expected;
    };
    const IntCase ints[] = {
        {settings::kPathType, 0},        {settings::kPathTypeOrUnset, -1},
        {settings::kServer, 0},          {settings::kAutoUpdate, 1},
        {settings::kOnceEveryDay, 0},    {settings::kAutoRun, 0},
        {settings::kDeleteMode, 0},      {settings::kLastUpdateSeconds, 0},
        {settings::kFirstRun, 1},        {settings::kDisableParticle, 0},
        {settings::kConfirmExit, 1},     {settings::kNotifyShortcut2, 0},
        {settings::kRefreshShortcut, 0}, {settings::kAutoLogin, 0},
        {settings::kRememberMe, 0},
    };
    for (const IntCase& c : ints)
        EXPECT_EQ(theApp().GetProfile(c.key), c.expected) << c.key.section << "/" << c.key.name;

    // The main window reads the close button's meaning as empty (ask), the settings dialog
    // as "true" (to the tray).
    EXPECT_EQ(theApp().GetProfile(settings::kCloseMeanMin), "");
    EXPECT_EQ(theApp().GetProfile(settings::kCloseMeanMinInSettings), "true");
    for (const settings::StringKey& key :
         {settings::kCustomPath, settings::kInfoChecksum, settings::kListChecksum,
          settings::kVersion, settings::kADFilename, settings::kADLink, settings::kDoor,
          settings::kKey})
        EXPECT_EQ(theApp().GetProfile(key), "") << key.section << "/" << key.name;
    EXPECT_EQ(theApp().GetProfile(settings::kLastUpdateRecord), std::nullopt);

    EXPECT_FALSE(fs::exists(theApp().ProfilePath()));
}

TEST_F(SettingsKeysTest, WrittenEntriesLandInTheirSectionsAndEveryReaderSeesThem) {
    ASSERT_TRUE(theApp().WriteProfile(settings::kPathType, 1));
    ASSERT_TRUE(theApp().WriteProfile(settings::kCustomPath, "/games/Tovrin/Launcher.exe"));
    ASSERT_TRUE(theApp().WriteProfile(settings::kServer, 2));
    ASSERT_TRUE(theApp().WriteProfile(settings::kVersion, "tvrn-classic"));
    ASSERT_TRUE(theApp().WriteProfile(settings::kCloseMeanMin, "tip"));
    ASSERT_TRUE(theApp().WriteProfile(settings::kAutoLogin, 1));
    ASSERT_TRUE(theApp().WriteProfile(settings::kDoor, "0A1B"));
    ASSERT_TRUE(theApp().WriteProfile(settings::kFirstRun, 0));
    ASSERT_TRUE(theApp().WriteProfile(settings::kDisableParticle, 1));
    ASSERT_TRUE(theApp().WriteProfile(settings::kConfirmExit, 0));

    EXPECT_EQ(Profile(),
              "[Path]\nPathType=1\nCustomPath=/games/Tovrin/Launcher.exe\n"
              "[Update]\nServer=2\nVersion=tvrn-classic\n"
              "[Misc]\nCloseMeanMin=tip\nConfirmExit=0\n"
              "[Guest]\nAutoLogin=1\nDoor=0A1B\n"
              "[Upload]\nFirstRun=0\n"
              "[Run]\nDisableParticle=1\n");

    // A stored value wins over either reader's default.
    EXPECT_EQ(theApp().GetProfile(settings::kPathType), 1);
    EXPECT_EQ(theApp().GetProfile(settings::kPathTypeOrUnset), 1);
    EXPECT_EQ(theApp().GetProfile(settings::kCloseMeanMin), "tip");
    EXPECT_EQ(theApp().GetProfile(settings::kCloseMeanMinInSettings), "tip");
    EXPECT_EQ(theApp().GetProfile(settings::kCustomPath), "/games/Tovrin/Launcher.exe");
    EXPECT_EQ(theApp().GetProfile(settings::kServer), 2);
    EXPECT_EQ(theApp().GetProfile(settings::kFirstRun), 0);
    EXPECT_EQ(theApp().GetProfile(settings::kDoor), "0A1B");

    // A value the file cannot hold is refused and leaves the file as it was.
    const std::string before = Profile();
    EXPECT_FALSE(theApp().WriteProfile(settings::kVersion, "two\nlines"));
    EXPECT_EQ(Profile(), before);
}

TEST_F(SettingsKeysTest, TheDayRecordAndTheSecondsShareOneLineEachWriterSpellingItItsWay) {
    const std::vector<std::uint8_t> record = {0xEA, 0x07, 0x0C, 0x00, 0x03, 0x00, 0x09, 0x00,
                                              0x0E, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00};
    ASSERT_TRUE(theApp().WriteProfile(settings::kAutoUpdate, 1));
    ASSERT_TRUE(theApp().WriteProfile(settings::kLastUpdateRecord, record));
    EXPECT_EQ(Profile(), "[Update]\nAutoUpdate=1\nLastUpdate=KOHAMAAADAAAJAAAOAAAOBAAAAAAAAAA\n");
    EXPECT_EQ(theApp().GetProfile(settings::kLastUpdateRecord), record);
    // The main window's reader takes the letters for "never".
    EXPECT_EQ(theApp().GetProfile(settings::kLastUpdateSeconds), 0);

    ASSERT_TRUE(theApp().WriteProfile(settings::kLastUpdateSeconds, 1796720000));
    EXPECT_EQ(Profile(), "[Update]\nAutoUpdate=1\nlastUpdate=1796720000\n");
    EXPECT_EQ(theApp().GetProfile(settings::kLastUpdateSeconds), 1796720000);
    // And the engine's reader finds no record in decimal text.
    EXPECT_EQ(theApp().GetProfile(settings::kLastUpdateRecord), std::nullopt);

    ASSERT_TRUE(theApp().WriteProfile(settings::kLastUpdateRecord, record));
    EXPECT_EQ(Profile(), "[Update]\nAutoUpdate=1\nLastUpdate=KOHAMAAADAAAJAAAOAAAOBAAAAAAAAAA\n");
}

TEST_F(SettingsKeysTest, EndpointLinesReadBackThroughTheirEntries) {
    const std::string text = settings::SectionLine(settings::kEndpointsSection) +
                             settings::EntryLine(settings::kTelecomMirror, "http://127.0.0.1:1") +
                             settings::EntryLine(settings::kCommunityHost, "127.0.0.1:2");
    EXPECT_EQ(text,
              "[Endpoints]\r\nTelecomMirror=http://127.0.0.1:1\r\nCommunityHost=127.0.0.1:2\r\n");
    const fs::path file = temp.Path() / "endpoints.ini";
    ASSERT_TRUE(platform::WriteFileAtomic(file, text));
    const platform::IniFile ini(file);
    EXPECT_EQ(ini.Read(settings::kTelecomMirror.section, settings::kTelecomMirror.name),
              "http://127.0.0.1:1");
    EXPECT_EQ(ini.Read(settings::kCommunityHost.section, settings::kCommunityHost.name),
              "127.0.0.1:2");
    EXPECT_EQ(ini.Read(settings::kNetcomMirror.section, settings::kNetcomMirror.name),
              std::nullopt);
}

struct CheckRun {
    int status = -1;
    std::string out;
};

// Runs scripts/check-settings-keys on one file, as scripts/test runs it on the tree.
CheckRun RunKeyCheck(const fs::path& file) {
    const fs::path script =
        fs::path(VM_TEST_DATA_DIR).parent_path().parent_path() / "scripts" / "check-settings-keys";
    const std::string command = "bash '" + script.string() + "' '" + file.string() + "' 2>&1";
    CheckRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(SettingsKeysTest, TheKeyCheckNamesEverySpelledEntryAndNothingElse) {
    const fs::path probe = temp.Path() / "Probe.cpp";
    ASSERT_TRUE(platform::WriteFileAtomic(probe,
                                          "// \"CloseMeanMin\" in a comment is no use of it\n"
                                          "/* nor \"Guest\" here */\n"
                                          "int a = app.GetProfileInt(\"Misc\", \"Brand\", 0);\n"
                                          "auto b = app.GetProfileString(kSection, \"New\");\n"
                                          "auto c = ini.Read(\"Foo\", \"Bar\");\n"
                                          "const char* d = \"AutoRun\";\n"
                                          "std::string e = \"[Guest]\\r\\nDoor=x\";\n"
                                          "const char* f = \"用 AutoRun=1 时\";\n"
                                          "char g = '\"'; const char* h = \"Version 1\";\n"
                                          "int i = app.GetProfile(settings::kAutoRun);\n"));
    const CheckRun run = RunKeyCheck(probe);
    EXPECT_EQ(run.status, 1) << run.out;
    const std::string at = probe.string() + ":";
    EXPECT_NE(run.out.find(at + "3: \"Misc\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(at + "4: \"New\" is handed to a profile call"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(at + "5: \"Foo\" is handed to an INI file"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(at + "6: \"AutoRun\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(at + "7: \"[Guest]"), std::string::npos) << run.out;
    for (const char* line : {"1:", "2:", "8:", "9:", "10:"})
        EXPECT_EQ(run.out.find(at + line), std::string::npos) << line << "\n" << run.out;

    const fs::path clean = temp.Path() / "Clean.cpp";
    ASSERT_TRUE(platform::WriteFileAtomic(
        clean, "int i = app.GetProfile(settings::kAutoRun);\nconst char* s = \"Autorun\";\n"));
    const CheckRun ok = RunKeyCheck(clean);
    EXPECT_EQ(ok.status, 0) << ok.out;
}

}  // namespace
