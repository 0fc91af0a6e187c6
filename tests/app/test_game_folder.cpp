#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/TemporaryFolder.h"
#include "platform/FileUtil.h"
#include "platform/WineRegistry.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"

namespace fs = std::filesystem;
using vm::theApp;

namespace {

void Touch(const fs::path& p, const std::string& bytes = "x") {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

class GameFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prog = root / "prog";
        tmp = root / "tmp";
        fs::create_directories(prog);
        fs::create_directories(tmp);
        theApp().SetProgramDir(prog);
        theApp().Game().folder.Set("");
        theApp().Game().executable.Set("");
        prompter = std::make_shared<vm::test::ScriptedPrompter>();
        theApp().SetPrompter(prompter);
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override {
        theApp().SetPrompter(nullptr);
        unsetenv("TMPDIR");
    }
    void SetCustom(const std::string& path) {
        theApp().WriteProfileInt("Path", "PathType", 1);
        theApp().WriteProfileString("Path", "CustomPath", path);
    }
    // A Wine prefix whose C: drive holds the game.
    fs::path MakePrefix(const std::string& registry) {
        fs::path prefix = root / "wine";
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(prefix / "drive_c");
        fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
        Touch(prefix / "system.reg", registry);
        return prefix;
    }

    vm::test::ScopedTempDir temp;
    const fs::path root = temp.Path();
    fs::path prog, tmp;
    std::shared_ptr<vm::test::ScriptedPrompter> prompter;
};

TEST_F(GameFolderTest, LauncherInCapitalsIsRewrittenToTheGameBesideIt) {
    SetCustom((root / "game" / "LAUNCHER.EXE").string());
    vm::CacheGameFolder();
    const std::string exe = (root / "game" / "Tovrin.exe").string();
    EXPECT_EQ(vm::GameExecutable(), exe);
    EXPECT_EQ(theApp().GetProfileString("Path", "CustomPath"), exe);
    EXPECT_EQ(vm::GameFolder(), (root / "game").string() + "/");
    EXPECT_EQ(vm::GameFile("/Client.ini"), (root / "game" / "Client.ini").string());
}

TEST_F(GameFolderTest, CustomPathWithoutSeparatorIsItsOwnFolder) {
    SetCustom("Tovrin");
    vm::CacheGameFolder();
    EXPECT_EQ(vm::GameFolder(), "Tovrin/");
    EXPECT_EQ(vm::GameExecutable(), "Tovrin");

    SetCustom("launcher.exe");
    vm::CacheGameFolder();
    EXPECT_EQ(vm::GameExecutable(), "Tovrin.exe");
}

TEST_F(GameFolderTest, ProgramFolderServesPathTypeZeroAndAnEmptyCustomPath) {
    const std::string progFolder = prog.string() + "/";
    vm::CacheGameFolder();
    EXPECT_EQ(vm::GameFolder(), progFolder);
    EXPECT_EQ(vm::GameExecutable(), progFolder + "Tovrin.exe");

    SetCustom("");
    EXPECT_EQ(vm::ResolveGameFolder(), progFolder);
    EXPECT_EQ(vm::ResolveGameExecutable(), progFolder + "Tovrin.exe");
}

TEST_F(GameFolderTest, GamePageDetectsOnlyWhileNoChoiceWasStored) {
    Touch(prog / "Tovrin.exe");
    auto first = vm::GamePageChoice();
    EXPECT_EQ(first.source, vm::GameSource::ProgramFolder);

    SetCustom("/games/Tovrin.exe");
    auto stored = vm::GamePageChoice();
    EXPECT_EQ(stored.choice, vm::GameChoice::CustomPath);
    EXPECT_EQ(stored.path, "/games/Tovrin.exe");
    EXPECT_EQ(stored.source, vm::GameSource::Settings);

    theApp().WriteProfileInt("Path", "PathType", 0);
    EXPECT_EQ(vm::GamePageChoice().choice, vm::GameChoice::ProgramFolder);
}

TEST_F(GameFolderTest, PlainFileInTheWayIsReplacedByAPrivateFolder) {
    Touch(tmp / "Velmora-TVRN");
    EXPECT_EQ(vm::TemporaryFile("Info"), (tmp / "Velmora-TVRN" / "Info").string());
    struct stat st {};
    ASSERT_EQ(lstat((tmp / "Velmora-TVRN").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(GameFolderTest, OwnFolderOpenToOthersIsClosed) {
    fs::create_directory(tmp / "Velmora-TVRN");
    chmod((tmp / "Velmora-TVRN").c_str(), 0777);
    EXPECT_EQ(vm::TemporaryFolder(), (tmp / "Velmora-TVRN").string() + "/");
    struct stat st {};
    ASSERT_EQ(stat((tmp / "Velmora-TVRN").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(GameFolderTest, SymbolicLinkIsNeverUsed) {
    SetCustom((root / "game" / "Tovrin.exe").string());
    fs::create_directories(root / "game");
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", tmp / "Velmora-TVRN");

    EXPECT_EQ(vm::TemporaryFile("vmmd5index.dat"),
              (root / "game" / "vmtemp" / "vmmd5index.dat").string());
    EXPECT_TRUE(fs::is_directory(root / "game" / "vmtemp"));
    EXPECT_TRUE(fs::is_symlink(tmp / "Velmora-TVRN"));
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
}

TEST_F(GameFolderTest, FolderOfAnotherUserIsNeverUsed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
    SetCustom((root / "game" / "Tovrin.exe").string());
    fs::create_directories(root / "game");
    fs::create_directory(tmp / "Velmora-TVRN");
    ASSERT_EQ(chown((tmp / "Velmora-TVRN").c_str(), 65534, 65534), 0);

    EXPECT_EQ(vm::TemporaryFolder(), (root / "game" / "vmtemp").string() + "/");
    struct stat st {};
    ASSERT_EQ(stat((tmp / "Velmora-TVRN").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
}

TEST_F(GameFolderTest, FindGamePrefersTheProgramFolder) {
    Touch(prog / "Tovrin.exe");
    auto found = vm::FindGame(platform::WineRegistry(root / "no-prefix"));
    EXPECT_EQ(found.choice, vm::GameChoice::ProgramFolder);
    EXPECT_EQ(found.source, vm::GameSource::ProgramFolder);
}

TEST_F(GameFolderTest, FindGameReadsTheInstallPathOfTheWinePrefix) {
    fs::path prefix = MakePrefix(
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\Halvar\\\\TVRN] 1700000000\n#time=1da0000000000\n"
        "\"InstallPath\"=\"C:\\\\Games\\\\Tovrin\\\\\"\n\n");
    // Windows ignores letter case; the folder on disk is spelt differently.
    Touch(prefix / "drive_c" / "games" / "Tovrin" / "Tovrin.exe");

    auto found = vm::FindGame(platform::WineRegistry(prefix));
    EXPECT_EQ(found.choice, vm::GameChoice::CustomPath);
    EXPECT_EQ(found.source, vm::GameSource::WinePrefix);
    EXPECT_EQ(fs::canonical(found.path),
              fs::canonical(prefix / "drive_c" / "games" / "Tovrin" / "Tovrin.exe"));
}

TEST_F(GameFolderTest, FindGameLooksBelowWow6432NodeInA64BitPrefix) {
    fs::path prefix = MakePrefix(
        "WINE REGISTRY Version 2\n#arch=win64\n\n"
        "[Software\\\\Wow6432Node\\\\Halvar\\\\TVRN] 1700000000\n"
        "\"InstallPath\"=\"C:\\\\Tovrin\"\n");
    Touch(prefix / "drive_c" / "Tovrin" / "Tovrin.exe");
    auto found = vm::FindGame(platform::WineRegistry(prefix));
    EXPECT_EQ(found.source, vm::GameSource::WinePrefix);
}

TEST_F(GameFolderTest, FindGameFallsBackSilentlyWithoutPrefixKeyValueOrGame) {
    auto nothing = [&](const fs::path& prefix) {
        auto found = vm::FindGame(platform::WineRegistry(prefix));
        EXPECT_EQ(found.choice, vm::GameChoice::CustomPath);
        EXPECT_EQ(found.source, vm::GameSource::Nothing);
        EXPECT_TRUE(found.path.empty());
    };
    nothing(root / "missing-prefix");
    fs::path prefix = MakePrefix(
        "WINE REGISTRY Version 2\n\n[Software\\\\Other] 1\n"
        "\"InstallPath\"=\"C:\\\\Games\\\\Tovrin\\\\\"\n");
    Touch(prefix / "drive_c" / "Games" / "Tovrin" / "Tovrin.exe");
    nothing(prefix);  // key missing
    Touch(prefix / "system.reg", "[Software\\\\Halvar\\\\TVRN] 1\n\"Version\"=\"1\"\n");
    nothing(prefix);  // value missing
    Touch(prefix / "system.reg",
          "[Software\\\\Halvar\\\\TVRN] 1\n\"InstallPath\"=\"D:\\\\Tovrin\\\\\"\n");
    nothing(prefix);  // no such drive
    EXPECT_TRUE(prompter->History().empty());
}

}  // namespace
