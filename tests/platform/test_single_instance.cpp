#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/SingleInstance.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", dir.c_str(), 1); }
    vm::test::ScopedTempDir m_temp;
    fs::path dir = m_temp.Path();
};

bool WaitUntil(const std::function<bool()>& cond) {
    for (int i = 0; i < 200 && !cond(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return cond();
}

TEST_F(SingleInstanceTest, SecondCopyActivatesTheFirstAndIsRefused) {
    std::atomic<int> activations{0};
    platform::SingleInstance first("VmTest");
    ASSERT_TRUE(first.Acquire([&] { ++activations; }));
    {
        platform::SingleInstance second("VmTest");
        EXPECT_FALSE(second.Acquire([] {}));
    }
    EXPECT_TRUE(WaitUntil([&] { return activations == 1; }));
    // Once the first copy is gone a new one may start.
}

TEST_F(SingleInstanceTest, ReleasedLockAndStaleSocketNeverBlockAStart) {
    {
        platform::SingleInstance first("VmTest");
        ASSERT_TRUE(first.Acquire({}));
    }
    // A crashed copy leaves its socket file behind.
    platform::SingleInstance probe("VmTest");
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", probe.SocketPath().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(probe.SocketPath()));

    std::atomic<int> activations{0};
    platform::SingleInstance again("VmTest");
    ASSERT_TRUE(again.Acquire([&] { ++activations; }));
    platform::SingleInstance second("VmTest");
    EXPECT_FALSE(second.Acquire({}));
    EXPECT_TRUE(WaitUntil([&] { return activations == 1; }));
}

TEST_F(SingleInstanceTest, GarbageOnTheSocketActivatesNothing) {
    std::atomic<int> activations{0};
    platform::SingleInstance first("VmTest");
    ASSERT_TRUE(first.Acquire([&] { ++activations; }));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", first.SocketPath().c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::send(fd, "quit\n", 5, 0), 5);
    ::close(fd);
    // A real second copy after the garbage: connections are handled in order, so once its
    // activation has arrived the garbage has been read too, and it must have added none.
    {
        platform::SingleInstance second("VmTest");
        EXPECT_FALSE(second.Acquire([] {}));
    }
    EXPECT_TRUE(WaitUntil([&] { return activations >= 1; }));
    EXPECT_EQ(activations.load(), 1);
}

// A runtime folder that cannot hold the lock: XDG_RUNTIME_DIR missing, and the temporary
// folder's lock name taken by something that is no lock of ours. The private folder is used.
class SingleInstanceFallback : public SingleInstanceTest {
  protected:
    void SetUp() override {
        SingleInstanceTest::SetUp();
        setenv("XDG_RUNTIME_DIR", (dir / "missing").c_str(), 1);
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "private");
        platform::SingleInstance probe("VmTest");
        // In the temporary folder the lock's name is a folder: it cannot be opened as a file.
        fs::create_directories(dir / "tmp" / probe.LockPath().filename());
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        SingleInstanceTest::TearDown();
    }
    std::function<fs::path()> Private() {
        return [this] { return dir / "private"; };
    }
};

TEST_F(SingleInstanceFallback, UnusableRuntimeFoldersFallBackToThePrivateFolder) {
    std::atomic<int> activations{0};
    platform::SingleInstance first("VmTest", Private());
    ASSERT_TRUE(first.Acquire([&] { ++activations; }));
    EXPECT_TRUE(first.IsGuarded());
    EXPECT_EQ(first.LockPath().parent_path(), dir / "private");
    // A second copy with the same surroundings finds the first there and activates it.
    platform::SingleInstance second("VmTest", Private());
    EXPECT_FALSE(second.Acquire({}));
    EXPECT_TRUE(WaitUntil([&] { return activations == 1; }));
}

TEST_F(SingleInstanceFallback, ALockFileOfAnotherUserIsNoReasonToEnd) {
    platform::SingleInstance probe("VmTest");
    fs::remove(dir / "tmp" / probe.LockPath().filename());
    const fs::path foreign = dir / "tmp" / probe.LockPath().filename();
    int fd = ::open(foreign.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::fchown(fd, 4242, 4242), 0);
    } else {
        ::close(fd);
        GTEST_SKIP() << "needs a file owned by another user";
    }
    // Held by that other user's copy, too: still not ours.
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    platform::SingleInstance first("VmTest", Private());
    EXPECT_TRUE(first.Acquire({}));
    EXPECT_EQ(first.LockPath().parent_path(), dir / "private");
    ::close(fd);
}

TEST_F(SingleInstanceFallback, WithoutAnyUsableFolderTheProgramRunsUnguarded) {
    platform::SingleInstance first("VmTest");  // no private folder either
    EXPECT_TRUE(first.Acquire({}));
    EXPECT_FALSE(first.IsGuarded());
    platform::SingleInstance second("VmTest", [this] { return dir / "missing-too"; });
    EXPECT_TRUE(second.Acquire({}));
    EXPECT_FALSE(second.IsGuarded());
}

}  // namespace
