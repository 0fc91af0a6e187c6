#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "app/messages.h"
#include "archive/ZipArchive.h"
#include "net/HttpFetch.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TestServer.h"
#include "update/CRealmInfoThread.h"
#include "update/CSelectServerLogic.h"
#include "update/ChecksumText.h"
#include "update/MirrorEndpoints.h"
#include "update/MirrorPublisher.h"
#include "update/UpdateInfo.h"
#include "update/UpdateInfoFetch.h"

namespace fs = std::filesystem;
using vm::theApp;

namespace {

constexpr char kDeadOrigin[] = "http://127.0.0.1:1";
constexpr char kInfoPath[] = "/Velmora-TVRN/Info.z";
constexpr char kChecksumPath[] = "/Velmora-TVRN/checksum.txt";

class MirrorFetch : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(v);
        ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
        fs::create_directories(work / "tmp");
        // The program's temporary folder goes inside this test's folder.
        if (const char* old = ::getenv("TMPDIR")) m_oldTmp = old;
        ::setenv("TMPDIR", (work / "tmp").c_str(), 1);
        fs::create_directories(work / "program");
        theApp().ResetSharedState();
        theApp().SetProgramDir(work / "program");
        theApp().WriteProfileInt("Update", "Server", 1);
        theApp().SetPrompter(prompter);
        UseMirrors(server.Origin(), kDeadOrigin);
        Publish("TVRN", {{"Main/main.lua", "main"}});
        server.ServeFolder("/", work / "mirror");
    }
    void TearDown() override {
        theApp().SetPrompter(nullptr);
        if (m_oldTmp)
            ::setenv("TMPDIR", m_oldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    static void UseMirrors(const std::string& telecom, const std::string& netcom) {
        vm::Endpoints e;
        e.telecomMirror = telecom;
        e.netcomMirror = netcom;
        vm::SetEndpoints(e);
    }
    void Publish(const std::string& set, const std::map<std::string, std::string>& files) {
        const fs::path addons = work / ("addons-" + set);
        for (const auto& [relative, bytes] : files) {
            fs::create_directories((addons / relative).parent_path());
            ASSERT_TRUE(platform::WriteFileAtomic(addons / relative, bytes));
        }
        vm::PublishOptions o;
        o.addonsDir = addons;
        o.mirrorDir = work / "mirror";
        o.setName = set;
        ASSERT_TRUE(vm::PublishMirror(o).ok);
    }
    // Runs the update-information job to its end; the target records what it posted.
    void RunInfoJob(vm::LocalClock clock = vm::LocalNow) {
        g_infoReady.Reset();
        auto job = std::make_unique<vm::CRealmInfoThread>();
        job->m_pMainWnd = target;
        job->m_clock = std::move(clock);
        ASSERT_TRUE(vm::CWorkerThread::Start(std::move(job)));
        ASSERT_TRUE(g_infoReady.WaitFor(std::chrono::seconds(20)));
        (void)vm::CWorkerThread::WaitForAll(std::chrono::seconds(2));
    }
    bool InfoFailed() const {
        for (auto id : target->Ids())
            if (id == vm::WM_VM_INFO_FAILED) return true;
        return false;
    }
    std::string MirrorFile(const std::string& relative) const {
        return platform::ReadWholeFile(work / "mirror" / relative).value_or("");
    }

    std::optional<std::string> m_oldTmp;
    vm::test::ScopedTempDir work;
    vm::test::TestServer server;
    std::shared_ptr<vm::test::ScriptedPrompter> prompter =
        std::make_shared<vm::test::ScriptedPrompter>();
    std::shared_ptr<vm::test::RecordingTarget> target =
        std::make_shared<vm::test::RecordingTarget>();
};

TEST_F(MirrorFetch, InfoJobFillsTheInformationAndPublishedSets) {
    RunInfoJob();
    EXPECT_FALSE(InfoFailed());
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_EQ(theApp().MirrorState().infoUrl.Get(), server.Origin() + kInfoPath);
    EXPECT_EQ(theApp().MirrorState().checksumUrl.Get(), server.Origin() + kChecksumPath);
    EXPECT_EQ(theApp().MirrorState().baseUrl.Get(), server.Origin());
    EXPECT_EQ(theApp().PublishedState().sets.Get(), std::vector<std::string>{"TVRN"});
    EXPECT_EQ(theApp().PublishedState().setFolders.Get().at("TVRN"), "/TVRN");
    EXPECT_EQ(theApp().PublishedState().updateInfo.Get().at("Version"), "1.019");

    auto sums = vm::ParseChecksumText(MirrorFile("Velmora-TVRN/checksum.txt"));
    EXPECT_EQ(theApp().PublishedState().expectedInfoChecksum.Get(), sums->info);
    EXPECT_EQ(theApp().PublishedState().expectedListChecksum.Get(), sums->list);
    auto checks = server.RequestsTo(kChecksumPath);
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].Header("Cache-Control"), "no-cache");
    ASSERT_EQ(server.RequestsTo(kInfoPath).size(), 1u);
    EXPECT_EQ(server.RequestsTo(kInfoPath)[0].Header("Cache-Control"), "no-cache");
    EXPECT_TRUE(fs::exists(vm::TemporaryFile("Info")));
    EXPECT_FALSE(fs::exists(vm::TemporaryFile("Info.z")));
}

TEST_F(MirrorFetch, CurrentLocalInfoIsNotDownloadedAgain) {
    RunInfoJob();
    server.ClearRequests();
    RunInfoJob();
    EXPECT_FALSE(InfoFailed());
    EXPECT_EQ(server.RequestsTo(kChecksumPath).size(), 1u);
    EXPECT_TRUE(server.RequestsTo(kInfoPath).empty());
    EXPECT_EQ(theApp().PublishedState().sets.Get(), std::vector<std::string>{"TVRN"});

    // A local copy that no longer matches is fetched again.
    ASSERT_TRUE(platform::WriteFileAtomic(vm::TemporaryFile("Info"), "stale"));
    RunInfoJob();
    EXPECT_EQ(server.RequestsTo(kInfoPath).size(), 1u);
}

TEST_F(MirrorFetch, HttpErrorOnInfoReportsVersionCheckFailure) {
    server.SetFault(kInfoPath, vm::test::Fault::Status(404));
    RunInfoJob();
    EXPECT_EQ(prompter->Texts(), std::vector<std::string>{"版本检测失败。"});
    EXPECT_TRUE(InfoFailed());
    EXPECT_TRUE(g_infoReady.IsSet());
    EXPECT_TRUE(theApp().PublishedState().sets.Get().empty());
}

TEST_F(MirrorFetch, ArchiveWithoutInfoNeverLetsAStaleCopyPass) {
    const std::string stale = vm::EncodeInfoBytes("serverOld = /old\r\n");
    ASSERT_TRUE(platform::WriteFileAtomic(vm::TemporaryFile("Info"), stale));
    ASSERT_TRUE(platform::WriteFileAtomic(work / "mirror/Velmora-TVRN/Info.z",
                                          *vm::MakeZip({{"Readme", "no Info here"}})));
    RunInfoJob();
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("获取更新信息失败"), std::string::npos);
    EXPECT_TRUE(InfoFailed());
    EXPECT_TRUE(theApp().PublishedState().updateInfo.Get().empty());
}

TEST_F(MirrorFetch, UnreachableMirrorExplainsAndFails) {
    UseMirrors(kDeadOrigin, server.Origin());
    RunInfoJob();
    ASSERT_EQ(prompter->Texts().size(), 1u);
    const std::string suffix =
        "\n获取更新信息失败。如果多次失败后，请访问Velmora的支持论坛寻求帮助。";
    const std::string text = prompter->Texts()[0];
    ASSERT_GT(text.size(), suffix.size());
    EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
    EXPECT_TRUE(InfoFailed());
    EXPECT_TRUE(g_infoReady.IsSet());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(MirrorFetch, ServerTwoUsesTheNetcomMirror) {
    UseMirrors(kDeadOrigin, server.Origin());
    theApp().WriteProfileInt("Update", "Server", 2);
    RunInfoJob();
    EXPECT_FALSE(InfoFailed());
    EXPECT_EQ(theApp().MirrorState().infoUrl.Get(), server.Origin() + kInfoPath);
    EXPECT_EQ(theApp().MirrorState().baseUrl.Get(), server.Origin());
    EXPECT_EQ(server.RequestsTo(kInfoPath).size(), 1u);
}

TEST_F(MirrorFetch, DayAlreadyHandledFetchesNothing) {
    theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    const vm::SystemTime today{2026, 12, 2, 8, 9, 0, 0, 0};
    theApp().WriteProfileBinary("Update", "LastUpdate", today.Encode());
    RunInfoJob([&] { return today; });
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(InfoFailed());
    EXPECT_TRUE(theApp().PublishedState().updateInfo.Get().empty());
}

TEST_F(MirrorFetch, ChecksumFailuresKeepThePreviousValues) {
    vm::SetMirrorUrlsFromSettings();
    theApp().PublishedState().expectedInfoChecksum.Set("old-info");
    theApp().PublishedState().expectedListChecksum.Set("old-list");
    server.SetFault(kChecksumPath, vm::test::Fault::Status(500).Times(1));
    EXPECT_FALSE(vm::FetchChecksums());
    server.Reply(kChecksumPath, "no line break");
    EXPECT_FALSE(vm::FetchChecksums());
    EXPECT_EQ(theApp().PublishedState().expectedInfoChecksum.Get(), "old-info");
    EXPECT_EQ(theApp().PublishedState().expectedListChecksum.Get(), "old-list");
    server.Reply(kChecksumPath, "new-info\nnew-list");
    EXPECT_TRUE(vm::FetchChecksums());
    EXPECT_EQ(theApp().PublishedState().expectedInfoChecksum.Get(), "new-info");
    EXPECT_EQ(theApp().PublishedState().expectedListChecksum.Get(), "new-list");
    EXPECT_TRUE(prompter->Texts().empty());
}

TEST_F(MirrorFetch, CachedListOfOneSetNeverPassesForAnother) {
    Publish("Beta", {{"Other/other.lua", "other"}});
    vm::SetMirrorUrlsFromSettings();
    ASSERT_TRUE(vm::FetchChecksums());
    // "Beta" comes first in key order, so checksum.txt carries Beta's list checksum.
    const std::string base = server.Origin();
    auto beta = vm::FetchFileList("/Beta", base + "/Beta/filelist.xml.z");
    ASSERT_TRUE(beta);
    EXPECT_EQ(platform::Md5Hex(*beta), theApp().PublishedState().expectedListChecksum.Get());
    EXPECT_NE(beta->find("other.lua"), std::string::npos);

    auto tvrn = vm::FetchFileList("/TVRN", base + "/TVRN/filelist.xml.z");
    ASSERT_TRUE(tvrn);
    EXPECT_NE(tvrn->find("main.lua"), std::string::npos);
    EXPECT_EQ(tvrn->find("other.lua"), std::string::npos);
    EXPECT_EQ(vm::CachedFileListPath("/TVRN"),
              fs::path(vm::TemporaryFolder()) / "filelists/TVRN/filelist.xml");

    server.ClearRequests();
    ASSERT_TRUE(vm::FetchFileList("/Beta", base + "/Beta/filelist.xml.z"));
    EXPECT_TRUE(server.Requests().empty());  // Beta's cached copy is current
    // The run's own downloader fetches the archive when it is given.
    int downloads = 0;
    auto download = [&](const std::string& url, const fs::path& file) {
        ++downloads;
        return vm::HttpFetchToFile(url, file);
    };
    ASSERT_TRUE(vm::FetchFileList("/TVRN", base + "/TVRN/filelist.xml.z", download));
    EXPECT_EQ(downloads, 1);
    EXPECT_EQ(server.RequestsTo("/TVRN/filelist.xml.z").size(), 1u);
    EXPECT_FALSE(fs::exists(vm::TemporaryFile("filelists/TVRN/filelist.xml.z")));

    // A folder from the mirror that would leave the temporary folder gets a name of its own.
    const fs::path odd = vm::CachedFileListPath("/../../etc");
    EXPECT_EQ(odd.parent_path().parent_path().parent_path().string() + "/", vm::TemporaryFolder());

    EXPECT_FALSE(vm::FetchFileList("/Gone", base + "/Gone/filelist.xml.z"));
    EXPECT_EQ(prompter->Texts(), std::vector<std::string>{vm::HttpErrorText(404)});
}

TEST_F(MirrorFetch, SelectionDialogLogic) {
    vm::CSelectServerLogic logic;
    for (auto [server, index] : {std::pair{0, 0}, {1, 0}, {2, 1}, {3, 1}, {-1, 1}}) {
        theApp().WriteProfileInt("Update", "Server", server);
        logic.Open();
        EXPECT_EQ(logic.Selected(), index) << server;
    }
    EXPECT_EQ(logic.Label(0), "(检测中...)");
    EXPECT_EQ(logic.Label(1), "(检测中...)");
    EXPECT_EQ(logic.OnLatency(2, 5), -1);

    auto dialog = std::make_shared<vm::test::RecordingTarget>();
    ASSERT_TRUE(logic.StartLatencyTests(dialog));
    for (int i = 0; i < 500 && dialog->Of(vm::WM_VM_MIRROR_LATENCY).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto results = dialog->Of(vm::WM_VM_MIRROR_LATENCY);
    ASSERT_EQ(results.size(), 2u);
    for (const vm::Message& m : results) {
        EXPECT_EQ(logic.OnLatency(m.wParam, m.lParam), static_cast<int>(m.wParam));
        if (m.wParam == 0) {
            EXPECT_GE(m.lParam, 0);  // the test server answers
        } else {
            EXPECT_EQ(m.lParam, -1);  // nothing listens there
        }
    }
    EXPECT_EQ(logic.Label(1), "(延迟：-1 毫秒)");

    logic.Select(0);
    EXPECT_TRUE(logic.Accept());
    EXPECT_EQ(theApp().GetProfileInt("Update", "Server", 0), 1);
    logic.Select(1);
    EXPECT_TRUE(logic.Accept());
    EXPECT_EQ(theApp().GetProfileInt("Update", "Server", 0), 2);
}

}  // namespace
