// Finding the game where Linux players keep it: temporary homes holding a Lutris, a Proton
// and a Bottles layout (and $WINEPREFIX), through the detection and `velmora game --detect`.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/GameCandidates.h"
#include "platform/FileUtil.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

using vm::CandidateSource;
using vm::test::Contains;
using vm::test::Quote;

class GameCandidates : public ::testing::Test {
  protected:
    void Put(const fs::path& path, const std::string& bytes = "MZ") {
        fs::create_directories(path.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
    }
    // A Wine prefix; with installPath its registry names the game's folder.
    void Prefix(const fs::path& prefix, const std::string& installPath = {}) {
        fs::create_directories(prefix / "drive_c/windows/system32");
        fs::create_directories(prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
        std::string reg = "WINE REGISTRY Version 2\n#arch=win64\n";
        if (!installPath.empty())
            reg += "\n[Software\\\\Wow6432Node\\\\Halvar\\\\TVRN] 1\n\"InstallPath\"=\"" +
                   installPath + "\"\n";
        Put(prefix / "system.reg", reg);
    }
    vm::LauncherHome Where() const {
        vm::LauncherHome w;
        w.home = home;
        w.configHome = home / ".config";
        w.dataHome = home / ".local/share";
        w.programFolder = dir.Path() / "program";
        return w;
    }
    std::vector<std::pair<std::string, CandidateSource>> Found(const vm::LauncherHome& w) {
        std::vector<std::pair<std::string, CandidateSource>> out;
        // A prefix's game is named through its drive links, as Wine names it; compared by
        // the file it is.
        for (const vm::GameCandidate& c : vm::FindGameCandidates(w)) {
            EXPECT_TRUE(fs::is_regular_file(c.executable)) << c.executable;
            out.emplace_back(fs::canonical(c.executable).string(), c.source);
        }
        return out;
    }

    // Each launcher's layout as it keeps it.
    void Lutris() {
        // One game names its prefix, another its executable only.
        Prefix(home / "Games/tovrin", "C:\\\\Games\\\\Tovrin\\\\");
        Put(home / "Games/tovrin/drive_c/Games/Tovrin/Tovrin.exe");
        Put(home / ".config/lutris/games/tovrin-1700000000.yml",
            "game:\n  exe: drive_c/Games/Tovrin/Launcher.exe\n  prefix: ~/Games/tovrin\n"
            "game_slug: tovrin\nname: Tovrin\nrunner: wine\nwine:\n  version: lutris-7.2\n");
        Put(home / "Other/Tovrin/Tovrin.exe");
        Put(home / ".local/share/lutris/games/tovrin-ptr.yml",
            "name: Tovrin PTR\ngame:\n  exe: '" + (home / "Other/Tovrin/Tovrin.exe").string() +
                "'\nsystem:\n  prefix: /nowhere\n");
    }
    void Proton() {
        // The Steam library on a second disk, named by libraryfolders.vdf.
        Put(home / ".local/share/Steam/steamapps/libraryfolders.vdf",
            "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                (home / ".local/share/Steam").string() +
                "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" +
                (dir.Path() / "disk2/SteamLibrary").string() +
                "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"1234\"\t\t\"0\"\n\t\t}\n\t}\n}\n");
        fs::create_directories(home / ".local/share/Steam/steamapps/compatdata/0/pfx");
        const fs::path pfx = dir.Path() / "disk2/SteamLibrary/steamapps/compatdata/3728190/pfx";
        Prefix(pfx);  // no registry entry: found by looking through drive_c
        Put(pfx / "drive_c/Program Files (x86)/Halvar/Tovrin/Tovrin.exe");
    }
    void Bottles() {
        const fs::path bottle = home / ".local/share/bottles/bottles/Tovrin";
        Prefix(bottle, "D:\\\\Tovrin");
        fs::create_directory_symlink(dir.Path() / "dgame", bottle / "dosdevices/d:");
        Put(dir.Path() / "dgame/Tovrin/Tovrin.exe");
        Prefix(home / ".local/share/bottles/bottles/Empty");
    }

    vm::test::ScopedTempDir dir;
    fs::path home = dir.Path() / "home";
};

TEST_F(GameCandidates, EachLauncherLayoutIsFoundWithItsSource) {
    Lutris();
    Proton();
    Bottles();
    const auto found = Found(Where());
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0],
              std::make_pair((home / "Games/tovrin/drive_c/Games/Tovrin/Tovrin.exe").string(),
                             CandidateSource::Lutris));
    EXPECT_EQ(found[1],
              std::make_pair((home / "Other/Tovrin/Tovrin.exe").string(), CandidateSource::Lutris));
    EXPECT_EQ(found[2],
              std::make_pair((dir.Path() / "disk2/SteamLibrary/steamapps/compatdata/3728190/pfx/"
                                           "drive_c/Program Files (x86)/Halvar/Tovrin/Tovrin.exe")
                                 .string(),
                             CandidateSource::Proton));
    EXPECT_EQ(found[3], std::make_pair((dir.Path() / "dgame/Tovrin/Tovrin.exe").string(),
                                       CandidateSource::Bottles));
}

TEST_F(GameCandidates, ProgramFolderAndWinePrefixComeFirstAndEachGameOnce) {
    Bottles();
    Put(dir.Path() / "program/Tovrin.exe");
    // $WINEPREFIX names the same bottle: found there first, not again under Bottles.
    vm::LauncherHome w = Where();
    w.winePrefix = home / ".local/share/bottles/bottles/Tovrin";
    Prefix(home / ".wine", "C:\\\\Tovrin");
    Put(home / ".wine/drive_c/Tovrin/Tovrin.exe");
    const auto found = Found(w);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].second, CandidateSource::ProgramFolder);
    EXPECT_EQ(found[1], std::make_pair((dir.Path() / "dgame/Tovrin/Tovrin.exe").string(),
                                       CandidateSource::WinePrefix));
    EXPECT_EQ(found[2].first, (home / ".wine/drive_c/Tovrin/Tovrin.exe").string());
    EXPECT_EQ(found[2].second, CandidateSource::WinePrefix);
}

TEST_F(GameCandidates, NothingThereFindsNothing) {
    fs::create_directories(home);
    EXPECT_TRUE(Found(Where()).empty());
    Prefix(home / ".wine");  // a prefix without the game
    Put(home / ".config/lutris/games/broken.yml", "game: [\n  exe: \"\n\x01\x02");
    EXPECT_TRUE(Found(Where()).empty());
}

TEST_F(GameCandidates, SteamLibraryFoldersInBothForms) {
    const auto libraries = vm::SteamLibraryFolders(
        "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1690000000\"\n"
        "\t\"1\"\t\t\"/mnt/old library\"\n\t\"2\"\t\t\"relative\"\n}\n"
        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/games/new\"\n"
        "\t\t\"label\"\t\t\"/not/a/library\"\n\t}\n}\n");
    ASSERT_EQ(libraries.size(), 2u);
    EXPECT_EQ(libraries[0], "/mnt/old library");
    EXPECT_EQ(libraries[1], "/games/new");
}

TEST_F(GameCandidates, VelmoraGameDetectListsEachWithItsSource) {
    Lutris();
    Proton();
    Bottles();
    fs::create_directories(dir.Path() / "program");
    const fs::path out = dir.Path() / "out.txt";
    const std::string cmd =
        "env -u WINEPREFIX -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME=" + Quote(home.string()) +
        " TMPDIR=" + Quote(dir.Path().string()) + " " + Quote(vm::test::Bin("velmora").string()) +
        " game --detect --program-dir " + Quote((dir.Path() / "program").string()) + " >" +
        Quote(out.string()) + " 2>&1 </dev/null";
    const int rc = std::system(cmd.c_str());
    const std::string text = platform::ReadWholeFile(out).value_or("");
    ASSERT_TRUE(WIFEXITED(rc)) << text;
    EXPECT_TRUE(Contains(text, "找到的位置: 4\n")) << text;
    EXPECT_TRUE(Contains(
        text, "  " + (home / "Games/tovrin/dosdevices/c:/Games/Tovrin/Tovrin.exe").string() +
                  "\tLutris\t" + (home / ".config/lutris/games/tovrin-1700000000.yml").string() +
                  "\n"))
        << text;
    EXPECT_TRUE(Contains(
        text, "\tSteam Proton\t" +
                  (dir.Path() / "disk2/SteamLibrary/steamapps/compatdata/3728190/pfx").string() +
                  "\n"))
        << text;
    EXPECT_TRUE(Contains(
        text, "  " +
                  (home / ".local/share/bottles/bottles/Tovrin/dosdevices/d:/Tovrin/Tovrin.exe")
                      .string() +
                  "\tBottles\t" + (home / ".local/share/bottles/bottles/Tovrin").string() + "\n"))
        << text;
}

}  // namespace
