#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

}  // namespace
