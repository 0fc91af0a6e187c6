// A mirror that misbehaves: archives of update information with names of their own, answers
// that trickle or never end, archives too large to hold ahead. Each case asserts what stays on
// disk, the words the run ends with, and that the next clean run still works.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "archive/ZipArchive.h"
#include "net/RequestLimits.h"
#include "platform/Md5.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/ByteBudget.h"
#include "update/Download.h"
#include "update/UpdateOutcome.h"

namespace fs = std::filesystem;
using vm::theApp;
using vm::test::Fault;
using vm::test::Noise;

namespace {

constexpr int kSucceeded = static_cast<int>(vm::UpdateOutcome::Succeeded);
constexpr int kFailed = static_cast<int>(vm::UpdateOutcome::Failed);
constexpr int kCancelled = static_cast<int>(vm::UpdateOutcome::Cancelled);

class BoundedMirror : public vm::test::UpdateRunEnv {
  protected:
    void SetUp() override {
        UpdateRunEnv::SetUp();
        temp = work / "tmp/Velmora-TVRN";
        fs::create_directories(temp);
        // A second is plenty on loopback; the trickling fakes send far less than the floor.
        limits.mirrorGraceMs = 1000;
        Limit();
    }
    void TearDown() override {
        scoped.reset();
        UpdateRunEnv::TearDown();
    }
    void Limit() {
        scoped.reset();
        scoped = std::make_unique<vm::CScopedRequestLimits>(limits);
    }
    // The run fetches "checksum.txt" and "Info" again first, as after the refresh command.
    void Refresh() {
        theApp().MirrorState().checksumUrl.Set(server.Url("/Velmora-TVRN/checksum.txt"));
        theApp().MirrorState().infoUrl.Set(server.Url("/Velmora-TVRN/Info.z"));
        theApp().Runs().refreshRequest.store(1);
    }
    std::string MirrorFile(const std::string& relative) const {
        return platform::ReadWholeFile(mirror / relative).value_or("");
    }
    bool StatusHas(const std::string& part) {
        for (const std::string& s : Statuses())
            if (s.find(part) != std::string::npos) return true;
        return false;
    }
    // Nothing landed beside the game, temporary, program and mirror folders, nor in the
    // program folder but its settings.
    void ExpectNothingWrittenOutside() {
        const std::set<std::string> ours = {"game", "tmp", "program", "mirror", "addons"};
        for (auto& e : fs::directory_iterator(work.Path()))
            EXPECT_TRUE(ours.count(e.path().filename().string())) << e.path();
        for (auto& e : fs::directory_iterator(program))
            EXPECT_EQ(e.path().filename().string().rfind("Velmora.ini", 0), 0u) << e.path();
    }
    // The largest file below folder.
    static std::uintmax_t LargestFile(const fs::path& folder) {
        std::uintmax_t largest = 0;
        for (auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file()) largest = std::max(largest, e.file_size());
        return largest;
    }

    fs::path temp;
    vm::RequestLimits limits;
    std::unique_ptr<vm::CScopedRequestLimits> scoped;
};

TEST_F(BoundedMirror, InfoArchiveYieldsOnlyInfoAndNoNameItCarriesBlocksALaterRun) {
    Publish({{"A/a.lua", "one"}});
    const std::string info = *vm::ReadZipEntry(MirrorFile("Velmora-TVRN/Info.z"), "Info");
    ASSERT_TRUE(platform::WriteFileAtomic(mirror / "Velmora-TVRN/Info.z",
                                          *vm::MakeZip({{"staging", "x"},
                                                        {"Interface", "y"},
                                                        {"TVRN", "z"},
                                                        {"Info", info},
                                                        {"extra.txt", "e"},
                                                        {"../escape.txt", "out"},
                                                        {"deep/Info", "not this one"}})));
    // What an older version let such an archive leave in the temporary folder.
    ASSERT_TRUE(platform::WriteFileAtomic(temp / "staging", "old"));
    ASSERT_TRUE(platform::WriteFileAtomic(temp / "TVRN", "old"));
    fs::create_directories(temp / "Info");
    ASSERT_TRUE(platform::WriteFileAtomic(temp / "Info/x", "old"));

    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/a.lua"), "one");
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_EQ(platform::ReadWholeFile(temp / "Info"), info);
    for (const char* folder : {"staging", "Interface"})
        EXPECT_FALSE(fs::is_regular_file(temp / folder)) << folder;
    for (const char* gone : {"extra.txt", "Info.z", "deep"})
        EXPECT_FALSE(fs::exists(temp / gone)) << gone;
    EXPECT_FALSE(fs::exists(work / "tmp/escape.txt"));

    // The next clean run still converges.
    Publish({{"A/a.lua", "two"}});
    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/a.lua"), "two");
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, ListArchiveYieldsOnlyTheList) {
    Publish({{"A/a.lua", "one"}});
    const std::string list = *vm::ReadZipEntry(MirrorFile("TVRN/filelist.xml.z"), "filelist.xml");
    ASSERT_TRUE(platform::WriteFileAtomic(mirror / "TVRN/filelist.xml.z",
                                          *vm::MakeZip({{"../staging", "x"},
                                                        {"Interface", "y"},
                                                        {"filelist.xml", list},
                                                        {"../../escape.txt", "out"},
                                                        {"extra", "e"}})));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/a.lua"), "one");
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(temp / "filelists/TVRN"))
        names.push_back(e.path().filename());
    // Only the list came out of the archive; beside it, the entries the run made of it.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filelist.entries", "filelist.xml"}));
    EXPECT_FALSE(fs::is_regular_file(temp / "staging"));
    EXPECT_FALSE(fs::exists(work / "tmp/escape.txt"));
    EXPECT_FALSE(fs::exists(work / "escape.txt"));

    // A set whose folder on the mirror bears a name the temporary folder uses itself: its
    // list and "Info" never push each other out.
    fs::copy(mirror / "TVRN", mirror / "Info", fs::copy_options::recursive);
    theApp().PublishedState().setFolders.Set({{"TVRN", "/Info"}});
    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    server.ClearRequests();
    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
    EXPECT_TRUE(server.RequestsTo("/Velmora-TVRN/Info.z").empty());
    EXPECT_TRUE(server.RequestsTo("/Info/filelist.xml.z").empty());
    EXPECT_EQ(server.RequestsTo("/Velmora-TVRN/checksum.txt").size(), 1u);
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, TricklingChecksumsAndInfoEndWithinTheirDeadlineAndTheRunGoesOn) {
    Publish({{"A/a.lua", "one"}});
    server.SetFault("/Velmora-TVRN/checksum.txt", Fault::Trickle(std::chrono::milliseconds(500)));
    server.SetFault("/Velmora-TVRN/Info.z", Fault::Trickle(std::chrono::milliseconds(500)));
    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/a.lua"), "one");
    EXPECT_TRUE(StatusHas("无法获取校验信息（服务器传输过慢"));
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("服务器传输过慢"), std::string::npos);
    EXPECT_NE(prompter->Texts()[0].find("获取更新信息失败"), std::string::npos);
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, TricklingListOrFileFailsTheRunWithinItsDeadline) {
    Publish({{"A/a.lua", "one"}, {"A/b.lua", "two"}});
    server.SetFault("/TVRN/filelist.xml.z", Fault::Trickle(std::chrono::milliseconds(500)));
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(StatusHas("无法下载更新文件列表（服务器传输过慢")) << LastStatus();
    EXPECT_EQ(LastStatus(), "更新失败。");

    server.ClearFault("/TVRN/filelist.xml.z");
    server.SetFault("/TVRN/Interface/A/b.lua.z", Fault::Trickle(std::chrono::milliseconds(500)));
    server.SetFault("/TVRN/Interface/A/b.lua", Fault::Trickle(std::chrono::milliseconds(500)));
    server.ClearRequests();
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(StatusHas("下载文件失败：Interface/A/b.lua（服务器传输过慢")) << LastStatus();
    // A mirror too slow for the archive is not waited for again for the plain file.
    EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/A/b.lua").empty());
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));

    server.ClearFault("/TVRN/Interface/A/b.lua.z");
    server.ClearFault("/TVRN/Interface/A/b.lua");
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/b.lua"), "two");
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, CancelStopsARequestThatReceivesNothing) {
    limits.mirrorGraceMs = 600000;  // only the cancel can end it
    Limit();
    Publish({{"A/a.lua", "one"}});
    auto gate = std::make_shared<vm::ManualResetEvent>();
    server.SetFault("/TVRN/Interface/A/a.lua.z", Fault::Held(gate));
    std::atomic<bool> over{false};
    std::thread canceller([&] {
        for (int i = 0; i < 2000 && !over; ++i) {
            if (!server.RequestsTo("/TVRN/Interface/A/a.lua.z").empty()) {
                g_cancelUpdate.store(1);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    Run();
    over = true;
    canceller.join();
    gate->Set();
    EXPECT_EQ(Outcome(), kCancelled);
    EXPECT_EQ(LastStatus(), "更新已经取消。");
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, EndlessAnswersStopAtTheirCapsAndLeaveNothingLarge) {
    limits.fileListCap = 256u << 10;
    limits.fileCap = 256u << 10;
    limits.checksumCap = 16u << 10;
    limits.infoArchiveCap = 64u << 10;
    Limit();
    Publish({{"A/a.lua", "one"}});

    server.SetFault("/Velmora-TVRN/checksum.txt", Fault::Endless());
    server.SetFault("/Velmora-TVRN/Info.z", Fault::Endless());
    server.SetFault("/TVRN/filelist.xml.z", Fault::Endless());
    Refresh();
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(StatusHas("无法获取校验信息（服务器的回应超过 16 KB"));
    EXPECT_TRUE(StatusHas("无法下载更新文件列表（服务器发送的内容超过 256 KB 的上限"))
        << LastStatus();
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("更新信息文件过大"), std::string::npos);
    EXPECT_LE(LargestFile(temp), limits.fileListCap);

    server.ClearFault("/Velmora-TVRN/checksum.txt");
    server.ClearFault("/Velmora-TVRN/Info.z");
    server.ClearFault("/TVRN/filelist.xml.z");
    server.SetFault("/TVRN/Interface/A/a.lua.z", Fault::Endless());
    server.SetFault("/TVRN/Interface/A/a.lua", Fault::Endless());
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    EXPECT_TRUE(StatusHas("下载文件失败：Interface/A/a.lua（服务器发送的内容超过")) << LastStatus();
    EXPECT_LE(LargestFile(temp), limits.fileCap);

    server.ClearFault("/TVRN/Interface/A/a.lua.z");
    server.ClearFault("/TVRN/Interface/A/a.lua");
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(Installed("A/a.lua"), "one");
    ExpectNothingWrittenOutside();
}

TEST_F(BoundedMirror, ArchivesAheadShareOneMemoryCapAndSpillToDisk) {
    // Several archives, each larger than what may be held ahead in all.
    limits.lookAheadBytes = 16u << 10;
    // One connection: the archives arrive in list order, so which of them fit is known.
    limits.connectionsPerHost = 1;
    Limit();
    std::map<std::string, std::string> files;
    for (unsigned i = 0; i < 6; ++i)
        files["A/f" + std::to_string(i) + ".bin"] = Noise(10000 + 5000 * i, i);
    Publish(files);
    // While the first file's turn is held up, the next three archives arrive: what does not
    // fit beside the first goes to the run's spill folder, each archive whole.
    bool spilled = false;
    m_onMessage = [&](const vm::Message& m) {
        if (m.id != vm::WM_VM_STATUS ||
            *reinterpret_cast<const std::string*>(m.wParam) != "更新文件：f0.bin")
            return;
        for (int i = 0; i < 1000 && !spilled; ++i) {
            spilled = true;
            for (int k = 1; k <= 3; ++k) {
                const auto name = "A/f" + std::to_string(k) + ".bin.z";
                const auto size = fs::file_size(mirror / "TVRN/Interface" / name);
                bool found = false;
                std::error_code ec;
                for (auto& e : fs::recursive_directory_iterator(temp / "staging", ec))
                    found = found || (e.path().filename() == std::to_string(k) + ".z" &&
                                      e.path().parent_path().extension() == ".ahead" &&
                                      e.file_size(ec) == size);
                spilled = spilled && found;
            }
            if (!spilled) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    Run();
    EXPECT_TRUE(spilled);
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    for (const auto& [path, bytes] : files) EXPECT_EQ(Installed(path), bytes) << path;
    // Every file came as its archive, none twice; nothing spilled stays behind.
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(server.RequestsTo("/TVRN/Interface/" + path + ".z").size(), 1u) << path;
        EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/" + path).empty()) << path;
    }
    for (auto& e : fs::recursive_directory_iterator(temp))
        EXPECT_EQ(e.path().string().find(".ahead"), std::string::npos) << e.path();
    ExpectNothingWrittenOutside();
}

// The accounting itself: what is held in memory never passes the cap, what does not fit goes
// to the spill file whole, and releasing gives everything back.
TEST_F(BoundedMirror, HeldDownloadsTakeFromTheBudgetAndSpillWhatDoesNotFit) {
    const std::string a = Noise(40000, 1);
    const std::string b = Noise(40000, 2);
    const std::string c = Noise(10000, 3);
    server.Reply("/a", a);
    server.Reply("/b", b);
    server.Reply("/c", c);
    vm::ByteBudget budget(64000);
    vm::HeldDownload ha, hb, hc;
    vm::DownloadFailure why;
    ASSERT_EQ(vm::DownloadToMemory(server.Url("/a"), ha, &budget, work / "a.z",
                                   vm::ProgressKind::None, vm::ShowErrors::No, target, &why),
              0)
        << why.reason;
    ASSERT_EQ(vm::DownloadToMemory(server.Url("/b"), hb, &budget, work / "b.z",
                                   vm::ProgressKind::None, vm::ShowErrors::No, target, &why),
              0)
        << why.reason;
    ASSERT_EQ(vm::DownloadToMemory(server.Url("/c"), hc, &budget, work / "c.z",
                                   vm::ProgressKind::None, vm::ShowErrors::No, target, &why),
              0)
        << why.reason;
    EXPECT_FALSE(ha.Spilled());
    EXPECT_EQ(ha.bytes, a);
    ASSERT_TRUE(hb.Spilled());
    EXPECT_TRUE(hb.bytes.empty());
    EXPECT_EQ(platform::ReadWholeFile(work / "b.z"), b);
    EXPECT_FALSE(hc.Spilled());  // still fits beside a
    EXPECT_EQ(hc.bytes, c);
    EXPECT_EQ(budget.InUse(), a.size() + c.size());
    EXPECT_LE(budget.Peak(), budget.Cap());

    ha.Release();
    hb.Release();
    hc.Release();
    EXPECT_EQ(budget.InUse(), 0u);
    EXPECT_FALSE(fs::exists(work / "b.z"));
    // A share that goes out of scope gives its bytes back too.
    {
        vm::HeldDownload held;
        ASSERT_EQ(vm::DownloadToMemory(server.Url("/c"), held, &budget, work / "d.z",
                                       vm::ProgressKind::None, vm::ShowErrors::No, target, &why),
                  0);
        EXPECT_EQ(budget.InUse(), c.size());
    }
    EXPECT_EQ(budget.InUse(), 0u);

    // A small answer fetched into memory has its cap too.
    limits.answerCap = 20000;
    Limit();
    std::string body;
    EXPECT_EQ(vm::DownloadToMemory(server.Url("/c"), body, vm::ProgressKind::None,
                                   vm::ShowErrors::No, target, &why),
              0);
    EXPECT_EQ(body, c);
    server.SetFault("/c", Fault::Endless());
    EXPECT_EQ(vm::DownloadToMemory(server.Url("/c"), body, vm::ProgressKind::None,
                                   vm::ShowErrors::No, target, &why),
              -1);
    EXPECT_TRUE(why.tooLarge);
    EXPECT_LE(body.size(), limits.answerCap);
}

}  // namespace
