#pragma once

// A game folder, a program folder and a published mirror on the in-process test server,
// and a way to run the update the way the main window starts it (scan, then the run).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "net/HttpFetch.h"
#include "platform/FileUtil.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TestServer.h"
#include "update/CChecksumThread.h"
#include "update/CUpdateThread.h"
#include "update/MirrorPublisher.h"
#include "update/UpdateSession.h"
#include "update/WindowMessageListener.h"

namespace vm::test {

// Bytes that do not compress: an archive of them is about as long as they are.
inline std::string Noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random() & 0xff);
    return s;
}

class UpdateRunEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        for (const char* v :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(v);
        fs::create_directories(work / "tmp");
        if (const char* old = ::getenv("TMPDIR")) m_oldTmp = old;
        ::setenv("TMPDIR", (work / "tmp").c_str(), 1);
        fs::create_directories(program);
        fs::create_directories(game);
        ASSERT_TRUE(platform::WriteFileAtomic(game / "Tovrin.exe", "MZ"));
        CVelmoraApp& app = theApp();
        app.ResetSharedState();
        app.SetProgramDir(program);
        app.WriteProfileInt("Path", "PathType", 1);
        app.WriteProfileString("Path", "CustomPath", (game / "Tovrin.exe").string());
        CacheGameFolder();
        app.SetPrompter(prompter);
        app.MirrorState().baseUrl.Set(server.Origin());
        app.PublishedState().updateInfo.Set({{"Version", "1.019"}});
        app.Runs().commitGate.Set();
        g_shortcutOffered.Set();
        target->SetReply([this](const Message& m) -> std::intptr_t {
            if (m.id == WM_VM_STATUS) {
                std::lock_guard<std::mutex> g(m_statusLock);
                m_statuses.push_back(*reinterpret_cast<const std::string*>(m.wParam));
            }
            if (m.id == WM_VM_CONFIRM_DELETE) {
                m_offered = *reinterpret_cast<const std::vector<std::string>*>(m.wParam);
                return m_confirmDelete;
            }
            if (m_onMessage) m_onMessage(m);
            return 0;
        });
        server.ServeFolder("/", mirror);
    }

    void TearDown() override {
        // The shared session keeps its connection to this server open; an answer that closes
        // it saves the server's wait for an idle client when it stops.
        server.Reply("/close", "bye");
        server.SetFault("/close", Fault::DropAfter(3));
        HttpRequest bye;
        bye.url = server.Url("/close");
        SharedSessionRequest(bye);
        theApp().SetPrompter(nullptr);
        g_cancelUpdate.store(0);
        if (m_oldTmp.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }

    // Add-on files (path below the add-ons folder -> bytes), published as the set TVRN.
    PublishResult Publish(const std::map<std::string, std::string>& files) {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::remove_all(work / "addons", ec);
        for (const auto& [path, bytes] : files) {
            fs::create_directories((work / "addons" / path).parent_path());
            EXPECT_TRUE(platform::WriteFileAtomic(work / "addons" / path, bytes));
        }
        PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = mirror;
        o.setName = "TVRN";
        PublishResult r = PublishMirror(o);
        EXPECT_TRUE(r.ok) << r.error;
        theApp().PublishedState().sets.Set({"TVRN"});
        theApp().PublishedState().setFolders.Set({{"TVRN", r.setFolder}});
        theApp().PublishedState().expectedListChecksum.Set(r.listChecksum);
        return r;
    }

    // How Run starts the scan and the run: the two workers by hand, or through an update
    // session whose window listener reports to target (as the main window starts them).
    enum class Through { Workers, Session };

    // Starts the scan and the run; waits for the run's last word.
    void Run(Through through = Through::Workers) {
        target->Clear();
        {
            std::lock_guard<std::mutex> g(m_statusLock);
            m_statuses.clear();
        }
        if (through == Through::Session) {
            UpdateSession session(std::make_shared<WindowMessageListener>(target),
                                  UpdateGates::MainWindow());
            ASSERT_EQ(session.Start(UpdateSession::Kind::Automatic), UpdateSession::Started::Yes);
            session.WaitForEnd();
            ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
            return;
        }
        g_cancelUpdate.store(0);
        g_scanDone.Reset();
        auto scan = std::make_unique<CChecksumThread>();
        scan->m_gameFolder = game.string() + "/";
        ASSERT_TRUE(CWorkerThread::Start(std::move(scan), CWorkerThread::Priority::Lowest));
        auto run = std::make_unique<CUpdateThread>();
        run->m_pMainWnd = target;
        run->m_clock = m_clock;
        ASSERT_TRUE(CWorkerThread::Start(std::move(run)));
        ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
        ASSERT_EQ(CWorkerThread::LiveCount(), 0);
    }

    std::vector<std::string> Statuses() {
        std::lock_guard<std::mutex> g(m_statusLock);
        return m_statuses;
    }
    std::string LastStatus() {
        auto s = Statuses();
        return s.empty() ? std::string() : s.back();
    }
    // The outcome WM_VM_UPDATE_END carried; -1 when none came.
    int Outcome() const {
        auto ends = target->Of(WM_VM_UPDATE_END);
        return ends.size() == 1 ? static_cast<int>(ends[0].wParam) : -1;
    }
    std::string Installed(const std::string& belowInterface) const {
        return platform::ReadWholeFile(game / "Interface" / belowInterface).value_or("<missing>");
    }

    ScopedTempDir work;
    TestServer server;
    std::filesystem::path program = work / "program";
    std::filesystem::path game = work / "game";
    std::filesystem::path mirror = work / "mirror";
    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
    std::shared_ptr<ScriptedPrompter> prompter = std::make_shared<ScriptedPrompter>();
    std::intptr_t m_confirmDelete = 0;
    std::vector<std::string> m_offered;
    std::function<void(const Message&)> m_onMessage;
    LocalClock m_clock = LocalNow;

  private:
    std::string m_oldTmp;
    std::mutex m_statusLock;
    std::vector<std::string> m_statuses;
};

}  // namespace vm::test
