// The update run over several connections to one mirror: archives arrive in any order, but
// the run reports, checks and installs them in list order; a broken or failing connection
// costs only its own file; resume works on each; the mirror never sees more connections at
// once than the limit.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "net/CHttpSession.h"
#include "net/RequestLimits.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/LookAhead.h"
#include "update/UpdateOutcome.h"

namespace fs = std::filesystem;
using vm::test::Fault;
using vm::test::Noise;

namespace {

constexpr int kSucceeded = static_cast<int>(vm::UpdateOutcome::Succeeded);
constexpr int kFailed = static_cast<int>(vm::UpdateOutcome::Failed);
constexpr int kCancelled = static_cast<int>(vm::UpdateOutcome::Cancelled);

std::string Name(unsigned i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02u.bin", i);
    return name;
}

// Holds each request it answers until `meet` requests are being answered at once (or every
// request it expects has come), and records the most it ever saw at once. The server then
// sees for itself how many connections the client keeps busy together.
class Rendezvous {
  public:
    Rendezvous(std::size_t meet, std::size_t expected) : m_meet(meet), m_expected(expected) {}

    void Serve(const fs::path& file, httplib::Response& res) {
        {
            std::unique_lock<std::mutex> l(m_lock);
            ++m_inFlight;
            m_peak = std::max(m_peak, m_inFlight);
            const std::size_t round = m_rounds;
            if (m_inFlight >= m_meet || m_served + m_inFlight >= m_expected) {
                ++m_rounds;
                m_changed.notify_all();
            } else {
                m_changed.wait_for(l, std::chrono::seconds(10), [&] {
                    return m_rounds != round || m_served + m_inFlight >= m_expected;
                });
            }
            --m_inFlight;
            ++m_served;
        }
        m_changed.notify_all();
        res.set_content(platform::ReadWholeFile(file).value_or(""), "application/octet-stream");
    }
    std::size_t Peak() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_peak;
    }

  private:
    const std::size_t m_meet;
    const std::size_t m_expected;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::size_t m_inFlight = 0;
    std::size_t m_served = 0;
    std::size_t m_peak = 0;
    std::size_t m_rounds = 0;
};

class ParallelUpdate : public vm::test::UpdateRunEnv {
  protected:
    // count files A/f00.bin, A/f01.bin, ... (the list's order), each size bytes of noise.
    void PublishFiles(unsigned count, std::size_t size) {
        m_files.clear();
        for (unsigned i = 0; i < count; ++i) m_files["A/" + Name(i)] = Noise(size, i);
        Publish(m_files);
    }
    static std::string Archive(unsigned i) { return "/TVRN/Interface/A/" + Name(i) + ".z"; }
    std::uintmax_t ArchiveSize(unsigned i) const {
        return fs::file_size(mirror / "TVRN/Interface/A" / (Name(i) + ".z"));
    }
    // Every file's archive is answered through rendezvous.
    void ServeThrough(Rendezvous& rendezvous) {
        for (unsigned i = 0; i < m_files.size(); ++i) {
            const fs::path file = mirror / "TVRN/Interface/A" / (Name(i) + ".z");
            server.On("GET", Archive(i),
                      [&rendezvous, file](const httplib::Request&, httplib::Response& res) {
                          rendezvous.Serve(file, res);
                      });
        }
    }
    void ExpectAllInstalled() {
        for (const auto& [path, bytes] : m_files) EXPECT_EQ(Installed(path), bytes) << path;
    }
    void ExpectNoArchiveLeftAhead() {
        std::error_code ec;
        for (auto& e : fs::recursive_directory_iterator(work / "tmp", ec))
            EXPECT_EQ(e.path().string().find(".ahead"), std::string::npos) << e.path();
    }
    // Waits (bounded) until the server has been asked for each of these paths.
    bool WaitForRequests(const std::vector<std::string>& paths) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            bool all = true;
            for (const std::string& p : paths) all = all && !server.RequestsTo(p).empty();
            if (all) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The statuses and file-progress reports, in the order the window got them: "S:text" or
    // "P:percent".
    std::vector<std::string> StatusAndProgress() {
        const std::vector<std::string> statuses = Statuses();
        std::vector<std::string> out;
        std::size_t s = 0;
        for (const auto& e : target->Entries()) {
            if (e.message.id == vm::WM_VM_STATUS && s < statuses.size())
                out.push_back("S:" + statuses[s++]);
            else if (e.message.id == vm::WM_VM_FILE_PROGRESS)
                out.push_back("P:" + std::to_string(e.message.wParam));
        }
        return out;
    }

    std::map<std::string, std::string> m_files;
};

TEST_F(ParallelUpdate, FilesFinishingOutOfOrderAreReportedAndInstalledInListOrder) {
    constexpr unsigned kFiles = 8;
    PublishFiles(kFiles, 20000);
    // The first archive is held back until every other one has been asked for: they all
    // finish before it.
    auto gate = std::make_shared<vm::ManualResetEvent>();
    server.SetFault(Archive(0), Fault::Held(gate));
    std::vector<std::string> others;
    for (unsigned i = 1; i < kFiles; ++i) others.push_back(Archive(i));
    std::atomic<bool> othersCameFirst{false};
    std::thread release([&] {
        othersCameFirst = WaitForRequests(others);
        gate->Set();
    });
    Run();
    release.join();
    EXPECT_TRUE(othersCameFirst);
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    ExpectAllInstalled();
    for (unsigned i = 0; i < kFiles; ++i) EXPECT_EQ(server.RequestsTo(Archive(i)).size(), 1u);

    // Each file's status, then its own bar up to 100, in list order; the overall bar counts
    // up one file at a time.
    std::vector<std::string> wanted;
    for (unsigned i = 0; i < kFiles; ++i) wanted.push_back("S:更新文件：" + Name(i));
    std::vector<std::string> seen;
    std::string lastBar;
    for (const std::string& e : StatusAndProgress()) {
        if (e.rfind("S:更新文件：", 0) == 0) {
            if (!seen.empty()) {
                EXPECT_EQ(lastBar, "P:100") << "before " << e;
            }
            seen.push_back(e);
            lastBar.clear();
        } else if (e.rfind("P:", 0) == 0 && !seen.empty()) {
            if (!lastBar.empty()) {
                EXPECT_LE(std::stoi(lastBar.substr(2)), std::stoi(e.substr(2))) << seen.back();
            }
            lastBar = e;
        }
    }
    EXPECT_EQ(seen, wanted);
    EXPECT_EQ(LastStatus(), "更新完成。");
    std::vector<std::uintptr_t> totals;
    for (const vm::Message& m : target->Of(vm::WM_VM_TOTAL_PROGRESS))
        if (m.lParam == static_cast<std::intptr_t>(kFiles)) totals.push_back(m.wParam);
    std::vector<std::uintptr_t> counted;
    for (unsigned i = 0; i < kFiles; ++i) counted.push_back(i);
    EXPECT_EQ(totals, counted);
}

TEST_F(ParallelUpdate, AFailingConnectionCostsOnlyItsOwnFile) {
    constexpr unsigned kFiles = 8;
    PublishFiles(kFiles, 5000);
    // An archive the mirror fails: that file comes plain, every other one as its archive.
    server.SetFault(Archive(3), Fault::Status(500));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    ExpectAllInstalled();
    EXPECT_EQ(server.RequestsTo("/TVRN/Interface/A/" + Name(3)).size(), 1u);
    for (unsigned i = 0; i < kFiles; ++i) {
        EXPECT_EQ(server.RequestsTo(Archive(i)).size(), 1u) << i;
        if (i != 3) {
            EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/A/" + Name(i)).empty()) << i;
        }
    }
    ExpectNoArchiveLeftAhead();

    // A file missing in both forms stops the run at its turn, while the files behind it are
    // already on their way: nothing is installed, nothing fetched ahead stays behind.
    std::error_code ec;
    fs::remove_all(game / "Interface", ec);
    fs::remove_all(work / "tmp", ec);
    fs::create_directories(work / "tmp");
    server.ClearFault(Archive(3));
    server.SetFault(Archive(2), Fault::Status(404));
    server.SetFault("/TVRN/Interface/A/" + Name(2), Fault::Status(404));
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    const auto s = Statuses();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s[s.size() - 2], "下载文件失败：Interface/A/" + Name(2) + "（HTTP错误代码(404)）");
    EXPECT_EQ(s.back(), "更新失败。");
    for (const std::string& text : s) EXPECT_NE(text, "更新文件：" + Name(3));
    for (const auto& [path, bytes] : m_files)
        EXPECT_FALSE(fs::exists(game / "Interface" / path)) << path;
    ExpectNoArchiveLeftAhead();
    // The files before it wait in the temporary folder for the next run.
    EXPECT_EQ(platform::ReadWholeFile(work / "tmp/Velmora-TVRN/Interface/A" / Name(1)),
              m_files["A/" + Name(1)]);
}

TEST_F(ParallelUpdate, EveryConnectionBreakingHalfWayResumesItsOwnFile) {
    constexpr unsigned kFiles = 9;
    constexpr std::size_t kLimit = 3;
    vm::RequestLimits limits = vm::CurrentRequestLimits();
    limits.connectionsPerHost = static_cast<int>(kLimit);
    vm::CScopedRequestLimits scoped(limits);
    PublishFiles(kFiles, 40000);
    // Three archives at a time are cut off half-way, together: each once.
    Rendezvous rendezvous(kLimit, 2 * kFiles);
    ServeThrough(rendezvous);
    for (unsigned i = 0; i < kFiles; ++i)
        server.SetFault(Archive(i), Fault::DropAfter(ArchiveSize(i) / 2).Times(1));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(rendezvous.Peak(), kLimit);
    ExpectAllInstalled();
    for (unsigned i = 0; i < kFiles; ++i) {
        const auto requests = server.RequestsTo(Archive(i));
        ASSERT_EQ(requests.size(), 2u) << i;
        EXPECT_FALSE(requests[0].HasHeader("Range")) << i;
        EXPECT_EQ(requests[1].Header("Range"), "bytes=" + std::to_string(ArchiveSize(i) / 2) + "-")
            << i;
        EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/A/" + Name(i)).empty()) << i;
    }
}

TEST_F(ParallelUpdate, TheMirrorNeverSeesMoreConnectionsAtOnceThanTheLimit) {
    constexpr unsigned kFiles = 12;
    PublishFiles(kFiles, 3000);
    for (std::size_t limit : {std::size_t{1}, std::size_t{3}}) {
        SCOPED_TRACE(limit);
        std::error_code ec;
        fs::remove_all(game / "Interface", ec);
        fs::remove_all(work / "tmp", ec);
        fs::create_directories(work / "tmp");
        server.ClearRequests();
        vm::RequestLimits limits = vm::CurrentRequestLimits();
        limits.connectionsPerHost = static_cast<int>(limit);
        vm::CScopedRequestLimits scoped(limits);
        Rendezvous rendezvous(limit, kFiles);
        ServeThrough(rendezvous);
        Run();
        EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
        ExpectAllInstalled();
        // As many at once as allowed, never more.
        EXPECT_EQ(rendezvous.Peak(), limit);
        // The connections are kept open from one file to the next.
        EXPECT_LT(server.ConnectionCount(), static_cast<std::size_t>(kFiles));
    }
}

TEST_F(ParallelUpdate, CancelWhileEveryConnectionWaitsEndsTheRun) {
    constexpr unsigned kFiles = 12;
    PublishFiles(kFiles, 3000);
    auto gate = std::make_shared<vm::ManualResetEvent>();
    std::vector<std::string> first;
    for (unsigned i = 0; i < kFiles; ++i) server.SetFault(Archive(i), Fault::Held(gate));
    const auto limit = static_cast<unsigned>(vm::CurrentRequestLimits().connectionsPerHost);
    for (unsigned i = 0; i < limit && i < kFiles; ++i) first.push_back(Archive(i));
    std::atomic<bool> allWaiting{false};
    std::thread cancel([&] {
        allWaiting = WaitForRequests(first);
        g_cancelUpdate.store(1);
    });
    Run();
    cancel.join();
    gate->Set();
    EXPECT_TRUE(allWaiting);
    EXPECT_EQ(Outcome(), kCancelled);
    EXPECT_EQ(LastStatus(), "更新已经取消。");
    for (const auto& [path, bytes] : m_files)
        EXPECT_FALSE(fs::exists(game / "Interface" / path)) << path;
    ExpectNoArchiveLeftAhead();
    // Nothing past the connections' limit was asked for while they all waited.
    std::size_t asked = 0;
    for (unsigned i = 0; i < kFiles; ++i) asked += server.RequestsTo(Archive(i)).size();
    EXPECT_LE(asked, static_cast<std::size_t>(limit));
}

// The look-ahead on its own: what its workers finish out of order is taken in order, and none
// starts further ahead of the caller than the window.
TEST(LookAhead, TakesInOrderWhatFinishesOutOfOrderWithinItsWindow) {
    constexpr std::size_t kCount = 40, kAhead = 6, kWorkers = 4;
    std::mutex lock;
    std::condition_variable changed;
    long taken = 0, furthest = 0;
    std::size_t finished = 0;
    std::set<std::size_t> started;
    {
        vm::LookAhead<std::size_t> ahead(kCount, kAhead, kWorkers, [&](std::size_t i) {
            std::unique_lock<std::mutex> l(lock);
            started.insert(i);
            furthest = std::max(furthest, static_cast<long>(i) + 1 - taken);
            // Every fourth item waits until the one after it has finished.
            if (i % 4 == 0 && i + 1 < kCount)
                changed.wait_for(l, std::chrono::seconds(10), [&] { return finished > i + 1; });
            finished = std::max(finished, i + 1);
            changed.notify_all();
            return i * 10;
        });
        for (std::size_t i = 0; i < kCount; ++i) {
            {
                // Counted before it is taken: the window may move as soon as it is.
                std::lock_guard<std::mutex> g(lock);
                taken = static_cast<long>(i) + 1;
            }
            EXPECT_EQ(ahead.Take(), i * 10);
        }
    }
    EXPECT_EQ(started.size(), kCount);
    EXPECT_LE(furthest, static_cast<long>(kAhead));
}

// A request that finds every connection busy waits for one, and a stop ends its wait without
// a connection of its own.
TEST(SharedSessionLimit, AStoppedRequestGivesUpWaitingForAConnection) {
    vm::test::TestServer server;
    auto gate = std::make_shared<vm::ManualResetEvent>();
    server.Reply("/held", "held");
    server.SetFault("/held", Fault::Held(gate));
    server.Reply("/other", "other");
    vm::RequestLimits limits = vm::CurrentRequestLimits();
    limits.connectionsPerHost = 1;
    vm::CScopedRequestLimits scoped(limits);
    std::thread holder([&] {
        vm::HttpRequest r;
        r.url = server.Url("/held");
        EXPECT_TRUE(vm::SharedSessionRequest(r).Ok());
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.RequestsTo("/held").empty() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(server.RequestsTo("/held").size(), 1u);
    vm::HttpRequest stopped;
    stopped.url = server.Url("/other");
    stopped.shouldStop = [] { return true; };
    const vm::HttpResult r = vm::SharedSessionRequest(stopped);
    EXPECT_EQ(r.outcome, vm::HttpResult::Outcome::Aborted);
    EXPECT_TRUE(server.RequestsTo("/other").empty());
    gate->Set();
    holder.join();
    // Once the connection is free the next request goes over it.
    vm::HttpRequest next;
    next.url = server.Url("/other");
    EXPECT_TRUE(vm::SharedSessionRequest(next).Ok());
    EXPECT_EQ(server.RequestsTo("/other").size(), 1u);
}

}  // namespace
