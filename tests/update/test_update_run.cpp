#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "archive/ZipArchive.h"
#include "platform/Md5.h"
#include "tests/support/ProgramSigning.h"
#include "tests/support/TestPaths.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/FileEntries.h"
#include "update/FileInstall.h"
#include "update/OnceADayTest.h"
#include "update/UpdateInfoFetch.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateRunLock.h"

namespace fs = std::filesystem;
using vm::theApp;
using vm::UpdateOutcome;

namespace {

constexpr int kSucceeded = static_cast<int>(UpdateOutcome::Succeeded);
constexpr int kFailed = static_cast<int>(UpdateOutcome::Failed);
constexpr int kCancelled = static_cast<int>(UpdateOutcome::Cancelled);

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

std::string Gbk(const std::string& ascii) {
    return ascii;  // the keys and values the tests need are ASCII, the same in GBK
}

class UpdateRun : public vm::test::UpdateRunEnv {
  protected:
    void Put(const std::string& belowInterface, const std::string& bytes) {
        fs::create_directories((game / "Interface" / belowInterface).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface" / belowInterface, bytes));
    }
};

TEST_F(UpdateRun, InstallsTheSetThenFindsNothingToDo) {
    Publish({{"A/a.lua", "print('a')"}, {"A/sub/b.xml", "<Ui/>"}, {"top.xml", "<Bindings/>"}});
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Installed("A/a.lua"), "print('a')");
    EXPECT_EQ(Installed("A/sub/b.xml"), "<Ui/>");
    EXPECT_EQ(Installed("top.xml"), "<Bindings/>");
    const auto s = Statuses();
    ASSERT_GE(s.size(), 5u);
    EXPECT_EQ(s.front(), "检测需要更新的文件...");
    EXPECT_TRUE(Has(s, "更新文件：a.lua"));
    EXPECT_EQ(s.back(), "更新完成。");
    EXPECT_EQ(target->Of(vm::WM_VM_FILES_CHANGED).size(), 1u);
    // Every file came as its archive; the archives are gone from the temporary folder.
    EXPECT_EQ(server.RequestsTo("/TVRN/Interface/A/a.lua.z").size(), 1u);
    EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/A/a.lua").empty());
    EXPECT_FALSE(fs::exists(work / "tmp/Velmora-TVRN/Interface/A/a.lua.z"));
    // No temporary sibling is left beside an installed file.
    for (auto& e : fs::recursive_directory_iterator(game / "Interface"))
        EXPECT_EQ(e.path().string().find(".vmnew"), std::string::npos) << e.path();

    server.ClearRequests();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
    EXPECT_TRUE(target->Of(vm::WM_VM_FILES_CHANGED).empty());
    // The cached list was current: only the checksum scan's work, no download at all.
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateRun, DroppedConnectionResumesWithRangeAndAppends) {
    std::string big;
    for (int i = 0; i < 4000; ++i) big += "line " + std::to_string(i * 7919 % 10007) + "\n";
    Publish({{"A/big.lua", big}});
    const std::string archive = "/TVRN/Interface/A/big.lua.z";
    const auto size = fs::file_size(mirror / "TVRN/Interface/A/big.lua.z");
    server.SetFault(archive, vm::test::Fault::DropAfter(size / 2).Times(1));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    const auto requests = server.RequestsTo(archive);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].HasHeader("Range"));
    EXPECT_EQ(requests[1].Header("Range"), "bytes=" + std::to_string(size / 2) + "-");
    EXPECT_EQ(requests[1].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(Installed("A/big.lua"), big);
    EXPECT_EQ(platform::Md5HexOfFile(game / "Interface/A/big.lua"), platform::Md5Hex(big));
}

TEST_F(UpdateRun, CancelEndsWithResetsAndTheEndMessage) {
    Publish({{"A/a.lua", "a"}, {"A/b.lua", "b"}});
    m_onMessage = [](const vm::Message& m) {
        if (m.id == vm::WM_VM_TOTAL_PROGRESS && m.lParam == 2) g_cancelUpdate.store(1);
    };
    Run();
    EXPECT_EQ(Outcome(), kCancelled);
    EXPECT_EQ(LastStatus(), "更新已经取消。");
    auto totals = target->Of(vm::WM_VM_TOTAL_PROGRESS);
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals.back().wParam, 0u);
    EXPECT_EQ(totals.back().lParam, 0);
    auto files = target->Of(vm::WM_VM_FILE_PROGRESS);
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files.back().wParam, 0u);
    EXPECT_EQ(target->Ids().back(), vm::WM_VM_UPDATE_END);
    EXPECT_FALSE(fs::exists(game / "Interface/A/b.lua"));
}

TEST_F(UpdateRun, FileMissingOnTheMirrorFailsTheRun) {
    Publish({{"A/a.lua", "a"}, {"A/b.lua", "b"}});
    server.SetFault("/TVRN/Interface/A/b.lua.z", vm::test::Fault::Status(404));
    server.SetFault("/TVRN/Interface/A/b.lua", vm::test::Fault::Status(404));
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_EQ(LastStatus(), "更新失败。");
    EXPECT_TRUE(Has(prompter->Texts(), "发生网络传输错误，HTTP错误代码(404)，Velmora更新失败。"));
    // Nothing is installed before every file has arrived.
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
    // The file that did arrive waits in the temporary folder for the next run.
    EXPECT_TRUE(fs::exists(work / "tmp/Velmora-TVRN/Interface/A/a.lua"));
}

TEST_F(UpdateRun, FileWithTheWrongChecksumIsNeverInstalled) {
    Publish({{"A/a.lua", "good"}});
    Put("A/a.lua", "old");
    // The mirror's copies changed after the list was made.
    ASSERT_TRUE(platform::WriteFileAtomic(mirror / "TVRN/Interface/A/a.lua", "evil"));
    fs::remove(mirror / "TVRN/Interface/A/a.lua.z");
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_EQ(Installed("A/a.lua"), "old");
    EXPECT_FALSE(fs::exists(work / "tmp/Velmora-TVRN/Interface/A/a.lua"));
    EXPECT_TRUE(Has(Statuses(), "文件校验失败：Interface/A/a.lua，下载的内容与更新列表不符。"));
}

TEST_F(UpdateRun, KeptObsoleteFilesMoveOnlyForOurOwnAddOns) {
    Publish({{"Kept/k.lua", "k"}});
    Put("Kept/k.lua", "k");
    Put("Dropped/info.ini", Gbk("Title=|cFF00FF00Dropped|r\r\nX-Revision = Velmora \r\n"));
    Put("Dropped/sub/b.lua", "b");
    Put("Mine/m.lua", "m");
    Put("Mine/info.ini", "X-Revision=Someone\r\n");
    Put("login.xml", "protected");
    theApp().WriteProfileInt("Update", "DeleteMode", 2);
    m_confirmDelete = 0;  // the window answers from DeleteMode 2: keep
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_FALSE(Has(m_offered, (game / "Interface/login.xml").string()));
    EXPECT_TRUE(Has(m_offered, (game / "Interface/Mine/m.lua").string()));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Dropped/sub/b.lua"), "b");
    EXPECT_TRUE(fs::exists(game / "Interface.obsoleted/Dropped/info.ini"));
    EXPECT_FALSE(fs::exists(game / "Interface/Dropped"));
    EXPECT_EQ(Installed("Mine/m.lua"), "m");
    EXPECT_EQ(Installed("login.xml"), "protected");
    EXPECT_EQ(Installed("Kept/k.lua"), "k");
    EXPECT_TRUE(fs::is_directory(game / "Interface"));
    EXPECT_TRUE(
        Has(Statuses(), "删除文件：" + (game / "Interface/Dropped/sub/b.lua").string() + "..."));
    EXPECT_EQ(LastStatus(), "更新完成。");
}

TEST_F(UpdateRun, ConfirmedRemovalMovesEveryCandidate) {
    Publish({{"Kept/k.lua", "k"}});
    Put("Mine/m.lua", "m");
    m_confirmDelete = 1;
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Mine/m.lua"), "m");
    EXPECT_FALSE(fs::exists(game / "Interface/Mine"));
}

TEST_F(UpdateRun, FileThatCannotBeMovedAsideStaysAndIsReported) {
    Publish({{"Kept/k.lua", "k"}});
    Put("Mine/m.lua", "m");
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface.obsoleted", "in the way"));
    m_confirmDelete = 1;
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Installed("Mine/m.lua"), "m");
    const auto s = Statuses();
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](const std::string& t) {
        return t.rfind("无法移动文件：", 0) == 0;
    }));
    EXPECT_EQ(LastStatus(), "更新完成，但有1个文件未能移到Interface.obsoleted，仍留在原处。");
}

TEST_F(UpdateRun, UnreadableListFailsInsteadOfOfferingEverything) {
    Publish({{"A/a.lua", "a"}});
    Put("Mine/m.lua", "m");
    auto zip = vm::MakeZip({{"filelist.xml", "<AddOns><AddOn folder=\"A\">"}});
    ASSERT_TRUE(zip);
    ASSERT_TRUE(platform::WriteFileAtomic(mirror / "TVRN/filelist.xml.z", *zip));
    m_confirmDelete = 1;
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(target->Of(vm::WM_VM_CONFIRM_DELETE).empty());
    EXPECT_EQ(Installed("Mine/m.lua"), "m");
    EXPECT_TRUE(Has(Statuses(), "更新文件列表无法解析。"));
}

TEST_F(UpdateRun, KeptEntriesServeOnlyTheListTheyCameFrom) {
    Publish({{"A/a.lua", "a1"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    const fs::path kept = vm::CachedFileEntriesPath("/TVRN");
    ASSERT_TRUE(fs::exists(kept));

    // A new list: the entries kept from the old one must not stand for it.
    Publish({{"A/a.lua", "a2"}, {"A/b.lua", "b"}});
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Installed("A/a.lua"), "a2");
    EXPECT_EQ(Installed("A/b.lua"), "b");

    // Damaged, the kept file is read past: the list is parsed again and the file made anew.
    const std::string good = *platform::ReadWholeFile(kept);
    ASSERT_TRUE(platform::WriteFileAtomic(kept, good.substr(0, good.size() / 2)));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
    EXPECT_EQ(*platform::ReadWholeFile(kept), good);

    // One planted for this very list that names a place outside the game folder changes
    // nothing: it is refused and the list itself decides.
    const std::string listMd5 =
        platform::Md5Hex(*platform::ReadWholeFile(vm::CachedFileListPath("/TVRN")));
    ASSERT_TRUE(vm::SaveFileEntries(
        kept, listMd5, {{"Interface/../../planted.lua", "Interface/../../planted.lua", "00"}}));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
    EXPECT_FALSE(fs::exists(game.parent_path() / "planted.lua"));
    EXPECT_EQ(*platform::ReadWholeFile(kept), good);
}

TEST_F(UpdateRun, NoPublishedSetFailsWithAClearStatus) {
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(Has(Statuses(), "更新信息中没有任何插件集，无法更新。"));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateRun, SecondRunOnTheSameFolderEndsAtOnce) {
    Publish({{"A/a.lua", "a"}});
    auto held = vm::UpdateRunLock::TryAcquire(game.string() + "/");
    ASSERT_TRUE(held);
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_EQ(Statuses(), std::vector<std::string>{"另一个更新正在进行，请等它结束后再试。"});
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
    held.reset();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
}

TEST_F(UpdateRun, AlreadyUpdatedTodayDoesNothing) {
    Publish({{"A/a.lua", "a"}});
    theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    // A fixed clock a moment before midnight; the last run was early the same day.
    vm::SystemTime now;
    now.year = 2026;
    now.month = 3;
    now.day = 14;
    now.hour = 23;
    now.minute = 59;
    now.second = 59;
    now.milliseconds = 999;
    m_clock = [now] { return now; };
    vm::SystemTime morning = now;
    morning.hour = 0;
    morning.minute = 0;
    morning.second = 1;
    morning.milliseconds = 0;
    theApp().WriteProfileBinary("Update", "LastUpdate", morning.Encode());
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Statuses(), std::vector<std::string>{"今天已经更新，不再需要更新。"});
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateRun, NoCacheModeAddsTheCacheBusterToArchivesOnly) {
    Publish({{"A/a.lua", "a"}});
    theApp().PublishedState().updateInfo.Set({{"Version", "1.019"}, {"NoCacheMode", "1"}});
    theApp().Services().machineId.Set("0123456789abcdef0123456789abcdef");
    theApp().PublishedState().expectedListChecksum.Set("");
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    auto list = server.RequestsTo("/TVRN/filelist.xml.z");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].target.rfind("/TVRN/filelist.xml.z?0123456789abcdef0123456789abcdef", 0), 0u);
    auto archive = server.RequestsTo("/TVRN/Interface/A/a.lua.z");
    ASSERT_EQ(archive.size(), 1u);
    EXPECT_NE(archive[0].target.find("?0123456789abcdef"), std::string::npos);
}

// Self-update: the mirror announces another client. Only a newer version whose client and
// updater both carry a signature from a key built into us gets started.
class SelfUpdateRun : public UpdateRun {
  protected:
    void SetUp() override {
        UpdateRun::SetUp();
        if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
    }
    void Announce(const std::string& clientBytes, const std::string& updaterBytes,
                  const std::string& version = "1.020") {
        fs::create_directories(mirror / "Velmora-TVRN");
        ASSERT_TRUE(platform::WriteFileAtomic(mirror / "Velmora-TVRN/client", clientBytes));
        ASSERT_TRUE(platform::WriteFileAtomic(mirror / "Velmora-TVRN/updater", updaterBytes));
        theApp().PublishedState().updateInfo.Set({{"Version", version},
                                                  {"Client", "/Velmora-TVRN/client"},
                                                  {"Updater", "/Velmora-TVRN/updater"}});
    }
    // Signs what the mirror serves, as the publisher's --sign does.
    void Sign(const std::string& name, vm::ProgramRole role, const std::string& version = "1.020",
              const fs::path& key = vm::test::SigningKey()) {
        ASSERT_TRUE(vm::test::SignBeside(mirror / "Velmora-TVRN" / name, role, version, key));
    }
    void SignBoth(const std::string& version = "1.020") {
        Sign("client", vm::ProgramRole::Client, version);
        Sign("updater", vm::ProgramRole::Updater, version);
    }
    static std::string Probe() {
        return platform::ReadWholeFile(vm::test::ProgramDir() / "updater_probe").value_or("");
    }
    // Nothing of a refused self-update is left or started, and the add-ons were updated.
    void ExpectRefusedAndAddOnsUpdated(const std::string& why) {
        EXPECT_TRUE(Has(Statuses(), why)) << ::testing::PrintToString(Statuses());
        EXPECT_TRUE(target->Of(vm::WM_VM_SELF_UPDATE_EXIT).empty());
        EXPECT_FALSE(fs::exists(program / "probe.txt"));
        EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new"));
        EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new.sig"));
        EXPECT_FALSE(fs::exists(program / "VMUpdate"));
        EXPECT_EQ(Outcome(), kSucceeded);
        EXPECT_EQ(Installed("A/a.lua"), "a");
        EXPECT_FALSE(fs::exists(game / "VMUpdate"));  // the leftover updater is removed
    }
};

TEST_F(SelfUpdateRun, SameVersionAsksNothingAndDownloadsNothing) {
    Publish({{"A/a.lua", "a"}});
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    EXPECT_EQ(Outcome(), kSucceeded);

    // The same version written with other padding is still ours.
    Announce(Probe(), Probe(), "1.19.0");
    SignBoth("1.19.0");
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    EXPECT_EQ(Outcome(), kSucceeded);
}

TEST_F(SelfUpdateRun, OlderOrUnreadableVersionIsNeverOfferedAndTheStatusSaysWhy) {
    Publish({{"A/a.lua", "a"}});
    Announce(Probe(), Probe(), "1.018");
    SignBoth("1.018");  // a genuine older build, correctly signed: still not ours to install
    ASSERT_TRUE(platform::WriteFileAtomic(game / "VMUpdate", "leftover"));
    prompter->Queue(vm::IDYES);
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    ExpectRefusedAndAddOnsUpdated(
        "服务器上的Velmora版本（1.018）比当前版本（1.019）旧，不进行更新。");

    // "1.0190" would be newer as text ("1.0190" > "1.019"), but is 190 > 19 too; "1.2" is
    // newer as text and older as numbers.
    Announce(Probe(), Probe(), "1.2");
    SignBoth("1.2");
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(Has(Statuses(), "服务器上的Velmora版本（1.2）比当前版本（1.019）旧，不进行更新。"));

    Announce(Probe(), Probe(), "1.020-beta");
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    ExpectRefusedAndAddOnsUpdated("无法识别服务器上的Velmora版本号（1.020-beta），不进行更新。");
}

TEST_F(SelfUpdateRun, SignedNewerVersionDownloadsBothAndStartsTheUpdaterWithOurProcessId) {
    const std::string probe = Probe();
    ASSERT_FALSE(probe.empty());
    Publish({{"A/a.lua", "a"}});
    Announce(probe, probe);
    SignBoth();
    ASSERT_TRUE(platform::WriteFileAtomic(game / "VMUpdate", "leftover"));
    prompter->Queue(vm::IDYES);
    Run();
    EXPECT_EQ(prompter->Texts(),
              std::vector<std::string>{"发现了新版本的Velmora，您是否想现在进行更新？"});
    EXPECT_EQ(target->Of(vm::WM_VM_SELF_UPDATE_EXIT).size(), 1u);
    EXPECT_TRUE(target->Of(vm::WM_VM_UPDATE_END).empty());
    EXPECT_EQ(platform::ReadWholeFile(program / "Velmora-TVRN.new"), probe);
    // The client's signature lies beside it for the updater's own check.
    EXPECT_EQ(platform::ReadWholeFile(program / "Velmora-TVRN.new.sig"),
              platform::ReadWholeFile(mirror / "Velmora-TVRN/client.sig"));
    EXPECT_EQ(server.RequestsTo("/Velmora-TVRN/updater.sig").size(), 1u);
    // The probe writes its command line and working folder beside itself.
    std::string seen;
    for (int i = 0; i < 500 && seen.empty(); ++i) {
        seen = platform::ReadWholeFile(program / "probe.txt").value_or("");
        if (seen.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(seen, (program / "VMUpdate").string() + " " + std::to_string(::getpid()) + "\n" +
                        game.string() + "\n");
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));  // the run stopped there
}

TEST_F(SelfUpdateRun, PackagedInstallLeavesTheNewVersionToThePackageManager) {
    const std::string probe = Probe();
    Publish({{"A/a.lua", "a"}});
    Announce(probe, probe);
    vm::ProgramLocations packaged = theApp().Locations();
    packaged.kind = vm::InstallKind::Packaged;
    theApp().SetLocations(packaged);
    prompter->Queue(vm::IDYES);  // would be the answer, were there a question
    Run();
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/updater").empty());
    EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new"));
    EXPECT_FALSE(fs::exists(program / "VMUpdate"));
    EXPECT_TRUE(target->Of(vm::WM_VM_SELF_UPDATE_EXIT).empty());
    const auto s = Statuses();
    ASSERT_FALSE(s.empty());
    EXPECT_TRUE(Has(s, "发现了新版本的Velmora，请使用系统的软件包管理器安装新版本。"));
    // The add-ons are updated all the same.
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Installed("A/a.lua"), "a");
    EXPECT_EQ(s.back(), "更新完成。");
}

// Formerly a newer client was started unchecked; now each way of getting the signature wrong
// is refused, and the add-ons update as if nothing had been announced.
TEST_F(SelfUpdateRun, UnsignedClientIsNotEvenDownloaded) {
    Publish({{"A/a.lua", "a"}});
    Announce(Probe(), Probe());
    Sign("updater", vm::ProgramRole::Updater);
    ASSERT_TRUE(platform::WriteFileAtomic(game / "VMUpdate", "leftover"));
    prompter->Queue(vm::IDYES);
    Run();
    EXPECT_EQ(server.RequestsTo("/Velmora-TVRN/client.sig").size(), 1u);
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/client").empty());
    EXPECT_TRUE(prompter->Texts().size() == 1u);  // the question only, no HTTP error box
    ExpectRefusedAndAddOnsUpdated("新版本的Velmora没有签名，不会安装。");
}

TEST_F(SelfUpdateRun, WronglySignedClientIsDeleted) {
    const fs::path other = work / "other.pem";
    ASSERT_TRUE(vm::test::MakeUntrustedKey(other));
    struct Case {
        const char* name;
        std::function<void()> sign;
    };
    const std::vector<Case> cases{
        {"a key we do not trust", [&] { Sign("client", vm::ProgramRole::Client, "1.020", other); }},
        {"an older build's signature under the new number",
         [&] { Sign("client", vm::ProgramRole::Client, "1.018"); }},
        {"the updater's signature", [&] { Sign("client", vm::ProgramRole::Updater); }},
        {"a signature of other bytes",
         [&] {
             Sign("client", vm::ProgramRole::Client);
             auto bytes = platform::ReadWholeFile(mirror / "Velmora-TVRN/client").value();
             bytes.back() ^= 1;
             ASSERT_TRUE(platform::WriteFileAtomic(mirror / "Velmora-TVRN/client", bytes));
         }},
        {"not a signature at all",
         [&] {
             ASSERT_TRUE(
                 platform::WriteFileAtomic(mirror / "Velmora-TVRN/client.sig", "<html>ok</html>"));
         }},
    };
    Publish({{"A/a.lua", "a"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(game / "Interface/A/a.lua");
        Announce(Probe(), Probe());
        Sign("updater", vm::ProgramRole::Updater);
        c.sign();
        prompter->Queue(vm::IDYES);
        Run();
        ExpectRefusedAndAddOnsUpdated("新版本的Velmora的签名无效，不会安装。");
    }
}

TEST_F(SelfUpdateRun, SignedClientWithUnsignedOrWronglySignedUpdaterStartsNothing) {
    Publish({{"A/a.lua", "a"}});
    Announce(Probe(), Probe());
    Sign("client", vm::ProgramRole::Client);
    prompter->Queue(vm::IDYES);
    Run();
    EXPECT_EQ(server.RequestsTo("/Velmora-TVRN/client").size(), 1u);
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/updater").empty());
    ExpectRefusedAndAddOnsUpdated("更新程序没有签名，不会运行。");

    // The client's own signature handed out as the updater's.
    fs::copy_file(mirror / "Velmora-TVRN/client.sig", mirror / "Velmora-TVRN/updater.sig");
    fs::remove(game / "Interface/A/a.lua");
    prompter->Queue(vm::IDYES);
    Run();
    ExpectRefusedAndAddOnsUpdated("更新程序的签名无效，不会运行。");
}

TEST_F(SelfUpdateRun, DownloadThatIsNoProgramIsDeletedAndTheRunGoesOn) {
    Publish({{"A/a.lua", "a"}});
    Announce("#!/bin/sh\necho not for this machine\n", Probe());
    SignBoth();  // signed, yet nothing this machine runs
    ASSERT_TRUE(platform::WriteFileAtomic(game / "VMUpdate", "leftover"));
    prompter->Queue(vm::IDYES);
    Run();
    ExpectRefusedAndAddOnsUpdated("下载的Velmora-TVRN.new不是本机可以运行的程序，已删除。");
}

}  // namespace
