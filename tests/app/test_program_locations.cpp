#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/CCheckConfigThread.h"
#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/CrashDump.h"
#include "app/CrashFrame.h"
#include "app/ProgramLocations.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;
using vm::InstallKind;
using vm::LocationFacts;

namespace {

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

LocationFacts Facts(bool writable, bool profile, bool marker) {
    LocationFacts f;
    f.folderWritable = writable;
    f.holdsProfile = profile;
    f.packageMarker = marker;
    f.home = "/home/player";
    return f;
}

TEST(DecideLocations, WritableFolderIsAPortableCopyWithEverythingBesideTheProgram) {
    const fs::path dir = "/opt/velmora";
    for (const LocationFacts& f :
         {Facts(true, false, false), Facts(true, true, false), Facts(true, true, true)}) {
        const auto l = vm::DecideLocations(dir, f);
        EXPECT_EQ(l.kind, InstallKind::Portable);
        EXPECT_EQ(l.programDir, dir);
        EXPECT_EQ(l.settingsDir, dir);
        EXPECT_EQ(l.dataDir, dir);
        EXPECT_EQ(l.cacheDir, dir);
    }
}

TEST(DecideLocations, ReadOnlyFolderOrPackageMarkerUsesTheUsersFolders) {
    const fs::path dir = "/usr/lib/velmora";
    // Not writable, with or without an old "Velmora.ini" in it; writable (root) but marked
    // as the package's own folder.
    for (const LocationFacts& f : {Facts(false, false, false), Facts(false, true, false),
                                   Facts(false, false, true), Facts(true, false, true)}) {
        const auto l = vm::DecideLocations(dir, f);
        EXPECT_EQ(l.kind, InstallKind::Packaged);
        EXPECT_EQ(l.programDir, dir);
        EXPECT_EQ(l.settingsDir, "/home/player/.config/velmora");
        EXPECT_EQ(l.dataDir, "/home/player/.local/share/Velmora");
        EXPECT_EQ(l.cacheDir, "/home/player/.cache/velmora");
    }
}

TEST(DecideLocations, XdgVariablesWinWhenAbsoluteAndAreIgnoredWhenRelative) {
    LocationFacts f = Facts(false, false, true);
    f.xdgConfigHome = "/cfg";
    f.xdgDataHome = "/data";
    f.xdgCacheHome = "relative/cache";
    auto l = vm::DecideLocations("/usr/lib/velmora", f);
    EXPECT_EQ(l.settingsDir, "/cfg/velmora");
    EXPECT_EQ(l.dataDir, "/data/Velmora");
    EXPECT_EQ(l.cacheDir, "/home/player/.cache/velmora");

    // No home and no variables: nowhere to go, and creating the folders says so.
    f = Facts(false, false, true);
    f.home.clear();
    l = vm::DecideLocations("/usr/lib/velmora", f);
    EXPECT_EQ(l.kind, InstallKind::Packaged);
    EXPECT_TRUE(l.settingsDir.empty());
    std::string why;
    EXPECT_FALSE(vm::CreateLocationFolders(l, &why));
    EXPECT_EQ(why, "找不到用户的主文件夹，无法确定保存设置的位置。请设置 HOME 环境变量。");
}

// A program folder and scratch XDG folders; the environment is put back afterwards.
class InstalledProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(program);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"}) {
            const char* old = ::getenv(v);
            m_saved.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
        }
        ::setenv("HOME", (work / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
        ::unsetenv("XDG_CACHE_HOME");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void MarkAsPackaged() {
        ASSERT_TRUE(platform::WriteFileAtomic(program / vm::kPackageMarkerName, "package\n"));
    }

    vm::test::ScopedTempDir work;
    const fs::path program = work / "program";

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(InstalledProgram, PortableCopyWritesItsSettingsBesideTheProgram) {
    auto& app = vm::theApp();
    app.SetProgramDir(program);
    EXPECT_EQ(app.Locations().kind, InstallKind::Portable);
    ASSERT_TRUE(vm::CreateLocationFolders(app.Locations(), nullptr));
    ASSERT_TRUE(app.WriteProfileInt("Update", "Server", 2));
    EXPECT_EQ(app.ProfilePath(), program / "Velmora.ini");
    EXPECT_EQ(platform::ReadWholeFile(program / "Velmora.ini"), "[Update]\nServer=2\n");
    EXPECT_FALSE(fs::exists(work / "config"));
    EXPECT_FALSE(fs::exists(work / "home"));
}

TEST_F(InstalledProgram, PackagedInstallWritesIntoTheXdgFoldersAndNeverBesideTheProgram) {
    MarkAsPackaged();
    auto& app = vm::theApp();
    app.SetProgramDir(program);
    const auto l = app.Locations();
    EXPECT_EQ(l.kind, InstallKind::Packaged);
    EXPECT_EQ(app.ProgramDir(), program);
    std::string why;
    ASSERT_TRUE(vm::CreateLocationFolders(l, &why)) << why;
    // Created on first start, private: the settings hold the stored credentials.
    for (const fs::path& dir :
         {work / "config/velmora", work / "data/Velmora", work / "home/.cache/velmora"}) {
        struct stat st {};
        ASSERT_EQ(::stat(dir.c_str(), &st), 0) << dir;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
    }
    ASSERT_TRUE(app.WriteProfileInt("Update", "Server", 1));
    EXPECT_EQ(app.ProfilePath(), work / "config/velmora/Velmora.ini");
    EXPECT_EQ(platform::ReadWholeFile(work / "config/velmora/Velmora.ini"), "[Update]\nServer=1\n");

    // The game-server list goes to the cache.
    app.PublishedState().sets.Set({"官方服务器一区"});
    vm::CWorkerThread::Start(std::make_unique<vm::CCheckConfigThread>());
    ASSERT_TRUE(vm::CWorkerThread::WaitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(fs::file_size(work / "home/.cache/velmora/Velmora.realms"), 2608u);
    app.PublishedState().sets.Set({});

    EXPECT_EQ(Listing(program), std::vector<std::string>{vm::kPackageMarkerName});
}

TEST_F(InstalledProgram, OldSettingsInAWritableFolderKeepItPortableDespiteTheMarker) {
    MarkAsPackaged();
    ASSERT_TRUE(platform::WriteFileAtomic(program / "Velmora.ini", "[Update]\nServer=2\n"));
    auto& app = vm::theApp();
    app.SetProgramDir(program);
    EXPECT_EQ(app.Locations().kind, InstallKind::Portable);
    EXPECT_EQ(app.GetProfileInt("Update", "Server", 0), 2);
}

TEST_F(InstalledProgram, CrashReportOfAPackagedInstallGoesToTheDataFolder) {
    MarkAsPackaged();
    const pid_t pid = fork();
    if (pid == 0) {
        for (int sig : {SIGSEGV, SIGABRT}) signal(sig, SIG_DFL);
        vm::theApp().SetProgramDir(program);
        if (!vm::CreateLocationFolders(vm::theApp().Locations(), nullptr)) _exit(3);
        vm::InstallCrashDump();
        vm::RunInCrashFrame([] {
            void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            *static_cast<volatile int*>(page) = 1;
            return 0;
        });
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string report =
        platform::ReadWholeFile(work / "data/Velmora/vmcrash.dmp").value_or("<none>");
    EXPECT_NE(report.find("SIGSEGV"), std::string::npos) << report;
    EXPECT_EQ(Listing(program), std::vector<std::string>{vm::kPackageMarkerName});
}

TEST_F(InstalledProgram, FolderThisUserCannotWriteIsPackaged) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder; the marker covers root";
    ASSERT_EQ(::chmod(program.c_str(), 0555), 0);
    const auto l = vm::LocateProgramFiles(program);
    ::chmod(program.c_str(), 0755);
    EXPECT_EQ(l.kind, InstallKind::Packaged);
    EXPECT_EQ(l.settingsDir, work / "config/velmora");
}

TEST_F(InstalledProgram, FileInTheWayOfTheSettingsFolderIsReported) {
    MarkAsPackaged();
    fs::create_directories(work / "config");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "config/velmora", "not a folder"));
    std::string why;
    EXPECT_FALSE(vm::CreateLocationFolders(vm::LocateProgramFiles(program), &why));
    EXPECT_EQ(why, "无法创建文件夹 " + (work / "config/velmora").string() + "，设置将无法保存。");
}

}  // namespace
