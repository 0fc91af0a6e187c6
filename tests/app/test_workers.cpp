#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "app/CCheckConfigThread.h"
#include "app/CPingThread.h"
#include "app/CServerQueryThread.h"
#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/messages.h"
#include "platform/FileUtil.h"
#include "platform/Latency.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ThreadWait.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A target with a thread of its own standing in for the UI thread: sends wait for it.
class LoopTarget : public vm::MessageTarget {
  public:
    explicit LoopTarget(std::function<std::intptr_t(const vm::Message&)> handler)
        : m_handler(std::move(handler)), m_thread([this] { Loop(); }) {}
    ~LoopTarget() override {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    std::intptr_t Send(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) override {
        std::promise<std::intptr_t> done;
        auto result = done.get_future();
        Enqueue([&, msg, w, l] { done.set_value(m_handler(vm::Message{msg, w, l, {}})); });
        return result.get();
    }
    bool Post(std::uint32_t msg, std::uintptr_t w, std::intptr_t l, vm::Payload p) override {
        auto m = std::make_shared<vm::Message>(vm::Message{msg, w, l, std::move(p)});
        Enqueue([this, m] { m_handler(*m); });
        return true;
    }

  private:
    void Enqueue(std::function<void()> f) {
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_queue.push_back(std::move(f));
        }
        m_cv.notify_all();
    }
    void Loop() {
        std::unique_lock<std::mutex> l(m_mutex);
        for (;;) {
            m_cv.wait(l, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            auto f = std::move(m_queue.front());
            m_queue.pop_front();
            l.unlock();
            f();
            l.lock();
        }
    }
    std::function<std::intptr_t(const vm::Message&)> m_handler;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

void WaitForWorkers() {
    ASSERT_TRUE(vm::CWorkerThread::WaitForAll(10s));
    ASSERT_EQ(vm::CWorkerThread::LiveCount(), 0);
}

class FnWorker : public vm::CWorkerThread {
  public:
    std::function<int(FnWorker&)> job;
    std::atomic<bool>* destroyed = nullptr;
    ~FnWorker() override {
        if (destroyed) *destroyed = true;
    }

  protected:
    int RunTask() override { return job(*this); }
};

TEST(MessageSeam, SendWaitsForTheTargetAndReturnsItsAnswer) {
    std::atomic<bool> handled{false};
    std::atomic<pid_t> worker{0};
    auto target = std::make_shared<LoopTarget>([&](const vm::Message& m) -> std::intptr_t {
        if (m.id != vm::WM_VM_CONFIRM_DELETE) return 0;
        // Answer only once the worker is parked in its send: one that did not wait has moved
        // on (or ended) by then and finds nothing handled.
        (void)vm::test::WaitUntilBlocked(worker);
        auto* list = reinterpret_cast<const std::vector<std::string>*>(m.wParam);
        handled = true;
        return static_cast<std::intptr_t>(list->size());
    });
    std::atomic<std::intptr_t> answer{-1};
    std::atomic<bool> handledWhenAnswered{false};
    std::atomic<bool> destroyed{false};
    auto w = std::make_unique<FnWorker>();
    w->m_pMainWnd = target;
    w->destroyed = &destroyed;
    w->job = [&](FnWorker& self) {
        std::vector<std::string> candidates{"a", "b", "c"};
        worker = vm::test::KernelThreadId();
        answer = vm::SendTo(self.m_pMainWnd, vm::WM_VM_CONFIRM_DELETE,
                            reinterpret_cast<std::uintptr_t>(&candidates), 0);
        handledWhenAnswered = handled.load();
        return 0;
    };
    ASSERT_TRUE(vm::CWorkerThread::Start(std::move(w)));
    WaitForWorkers();
    EXPECT_EQ(answer.load(), 3);
    EXPECT_TRUE(handledWhenAnswered);
    EXPECT_TRUE(destroyed) << "a finished worker deletes itself";
}

TEST(MessageSeam, PostsArriveInOrderAndAGoneTargetRefusesThem) {
    std::vector<std::string> seen;
    std::mutex m;
    vm::TargetRef ref;
    {
        auto target = std::make_shared<LoopTarget>([&](const vm::Message& msg) -> std::intptr_t {
            std::lock_guard<std::mutex> g(m);
            if (auto* s = std::get_if<std::string>(&msg.payload))
                seen.push_back(*s);
            else if (auto* o = std::get_if<std::optional<std::string>>(&msg.payload))
                seen.push_back(o->value_or("<none>"));
            return 0;
        });
        ref = target;
        EXPECT_TRUE(vm::PostTo(ref, vm::WM_VM_LOG_STATUS, 0, 0, std::string("one")));
        EXPECT_TRUE(
            vm::PostTo(ref, vm::WM_VM_CONFIG_DOWNLOAD_FAILED, 0, 0, std::optional<std::string>()));
        EXPECT_TRUE(vm::PostTo(ref, vm::WM_VM_LOG_STATUS, 0, 0, std::string("three")));
    }  // the window goes away; its queue is drained first
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "<none>", "three"}));
    // The text travels with the message and is freed with it (the sanitizer build checks).
    EXPECT_FALSE(vm::PostTo(ref, vm::WM_VM_LOG_STATUS, 0, 0, std::string(1000, 'x')));
    EXPECT_EQ(vm::SendTo(ref, vm::WM_VM_STATUS, 0, 0), 0);
}

class Listener {
  public:
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int fd;
    std::uint16_t port;
};

std::uint16_t ClosedPort() {
    Listener l;
    return l.port;  // closed again when l goes
}

TEST(Latency, ListeningPortGivesATimeOthersGiveMinusOne) {
    Listener l;
    EXPECT_GE(platform::MeasureConnectMs("127.0.0.1", l.port), 0);
    EXPECT_GE(platform::MeasureConnectMs("localhost", l.port), 0);
    EXPECT_EQ(platform::MeasureConnectMs("127.0.0.1", ClosedPort()), -1);
    EXPECT_EQ(platform::MeasureConnectMs("no-such-host.invalid", 80), -1);
}

TEST(Latency, MirrorQueryPostsIndexAndTimeOnlyWhileTheDialogExists) {
    Listener l;
    std::mutex m;
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> got;
    auto dialog = std::make_shared<LoopTarget>([&](const vm::Message& msg) -> std::intptr_t {
        std::lock_guard<std::mutex> g(m);
        if (msg.id == vm::WM_VM_MIRROR_LATENCY) got.emplace_back(msg.wParam, msg.lParam);
        return 0;
    });
    for (int index : {0, 1}) {
        auto t = std::make_unique<vm::CServerQueryThread>();
        t->m_index = index;
        t->m_host = "127.0.0.1";
        t->m_port = index == 0 ? l.port : ClosedPort();
        t->m_pMainWnd = dialog;
        vm::CWorkerThread::Start(std::move(t));
    }
    WaitForWorkers();
    dialog.reset();
    ASSERT_EQ(got.size(), 2u);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got[0].first, 0u);
    EXPECT_GE(got[0].second, 0);
    EXPECT_EQ(got[1].first, 1u);
    EXPECT_EQ(got[1].second, -1);

    // Closed before the thread reports: the thread ends quietly.
    auto t = std::make_unique<vm::CServerQueryThread>();
    t->m_host = "127.0.0.1";
    t->m_port = l.port;
    vm::CWorkerThread::Start(std::move(t));
    WaitForWorkers();
}

TEST(Latency, PingSendsTheRecordWithItsLatency) {
    Listener l;
    vm::GameServerRecord seen;
    auto window = std::make_shared<LoopTarget>([&](const vm::Message& msg) -> std::intptr_t {
        if (msg.id == vm::WM_VM_PING_RESULT)
            seen = *reinterpret_cast<const vm::GameServerRecord*>(msg.wParam);
        return 0;
    });
    auto t = std::make_unique<vm::CPingThread>();
    t->m_record.displayName = "官方服务器";
    t->m_record.host = "127.0.0.1";
    t->m_record.port = 0x10000 | l.port;  // only the low 16 bits are the port
    t->m_pMainWnd = window;
    vm::CWorkerThread::Start(std::move(t));
    WaitForWorkers();
    EXPECT_EQ(seen.displayName, "官方服务器");
    EXPECT_GE(seen.latency, 0);
}

// One record built by hand: UTF-16LE name and host, zero padding, port 80, latency -1.
std::string ExpectedRecord(const std::u16string& name, const std::string& host) {
    std::string rec(2608, '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        rec[2 * i] = char(name[i] & 0xFF);
        rec[2 * i + 1] = char(name[i] >> 8);
    }
    for (size_t i = 0; i < host.size(); ++i) rec[512 + 2 * i] = host[i];
    rec[2600] = 80;
    rec[2604] = rec[2605] = rec[2606] = rec[2607] = char(0xFF);
    return rec;
}

TEST(GameServerList, RealmsFileIsByteExact) {
    vm::test::ScopedTempDir temp;
    const fs::path dir = temp.Path();
    auto& app = vm::theApp();
    app.SetProgramDir(dir);
    // Every official set is listed, also after the first one was copied into the template.
    app.PublishedState().sets.Set({"官方服务器一区", "测试服", "官方服务器二区"});
    app.Services().gameHost.Set("game.tovrin.example");
    std::atomic<int> ready{0};
    auto window = std::make_shared<LoopTarget>([&](const vm::Message& msg) -> std::intptr_t {
        if (msg.id == vm::WM_VM_REALMS_READY) {
            // The file is complete by the time the window hears of it.
            ready = int(fs::file_size(dir / "Velmora.realms") / 2608);
        }
        return 0;
    });
    auto t = std::make_unique<vm::CCheckConfigThread>();
    t->m_pMainWnd = window;
    vm::CWorkerThread::Start(std::move(t));
    WaitForWorkers();
    EXPECT_EQ(ready.load(), 2);
    std::string expected = ExpectedRecord(u"官方服务器一区", "game.tovrin.example") +
                           ExpectedRecord(u"官方服务器二区", "game.tovrin.example");
    EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora.realms"), expected);

    app.PublishedState().sets.Set({});
    vm::CWorkerThread::Start(std::make_unique<vm::CCheckConfigThread>());
    WaitForWorkers();
    EXPECT_EQ(fs::file_size(dir / "Velmora.realms"), 0u) << "the file is created anew each time";
}

TEST(GameServerList, OverlongTextsStayTerminated) {
    vm::GameServerRecord r;
    r.displayName = std::string(300, 'n');
    r.host = std::string(300, 'h');
    auto bytes = r.Serialize();
    auto back = vm::GameServerRecord::Deserialize(bytes.data());
    EXPECT_EQ(back.displayName, std::string(255, 'n'));
    EXPECT_EQ(back.host, std::string(255, 'h'));
    EXPECT_EQ(bytes[510], 0);
    EXPECT_EQ(bytes[511], 0);
}

}  // namespace
