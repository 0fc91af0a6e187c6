#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <atomic>
#include <thread>

#include "app/messages.h"
#include "tests/support/ThreadWait.h"
#include "ui/QtMessageTarget.h"

namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};

void Pump(const std::function<bool()>& until) {
    QElapsedTimer t;
    t.start();
    while (!until() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(QtMessageTarget, WorkerSendIsAnsweredOnTheUiThreadAndPostsKeepTheirOrder) {
    QCoreApplication app(argc, argv);
    auto window = std::make_unique<QObject>();
    std::vector<std::string> texts;
    std::thread::id handlerThread;
    auto target =
        vm::QtMessageTarget::Create(window.get(), [&](const vm::Message& m) -> std::intptr_t {
            handlerThread = std::this_thread::get_id();
            if (auto* s = std::get_if<std::string>(&m.payload)) texts.push_back(*s);
            if (m.id == vm::WM_VM_STATUS)
                texts.push_back(*reinterpret_cast<const std::string*>(m.wParam));
            return m.id == vm::WM_VM_CONFIRM_DELETE ? 1 : 0;
        });
    vm::TargetRef ref = target;
    std::atomic<std::intptr_t> answer{-1};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        vm::PostTo(ref, vm::WM_VM_LOG_STATUS, 0, 0, std::string("first"));
        vm::SendStatus(ref, "second");
        answer = vm::SendTo(ref, vm::WM_VM_CONFIRM_DELETE);
        done = true;
    });
    Pump([&] { return done.load(); });
    worker.join();
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());

    // A send made on the UI thread itself is handled at once.
    EXPECT_EQ(target->Send(vm::WM_VM_CONFIRM_DELETE, 0, 0), 1);

    // The window goes: posts are refused, a waiting send gets 0.
    window.reset();
    EXPECT_FALSE(target->Post(vm::WM_VM_LOG_STATUS, 0, 0, std::string(100, 'x')));
    std::thread late([&] { answer = target->Send(vm::WM_VM_CONFIRM_DELETE, 0, 0); });
    late.join();
    EXPECT_EQ(answer.load(), 0);
}

TEST(QtMessageTarget, ASendPendingWhenTheWindowDiesReturnsZero) {
    QCoreApplication app(argc, argv);
    auto window = std::make_unique<QObject>();
    std::atomic<bool> handled{false};
    auto target = vm::QtMessageTarget::Create(window.get(), [&](const vm::Message&) {
        handled = true;
        return std::intptr_t{5};
    });
    std::atomic<std::intptr_t> answer{-1};
    std::atomic<pid_t> sender{0};
    std::thread worker([&] {
        sender = vm::test::KernelThreadId();
        answer = target->Send(vm::WM_VM_CONFIRM_DELETE, 0, 0);
    });
    // The worker parks only once its send is queued; then the window goes without processing
    // it.
    EXPECT_TRUE(vm::test::WaitUntilBlocked(sender));
    window.reset();
    worker.join();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_FALSE(handled);
}

}  // namespace
