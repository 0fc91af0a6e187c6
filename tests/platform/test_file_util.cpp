// The small helpers every library shares: trimming, the descriptor owner, the
// sibling-then-rename writer and the replaceable clock.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/Clock.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

std::size_t Entries(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(Trim, DropsTheBlanksAtBothEndsOnly) {
    EXPECT_EQ(platform::Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(platform::Trim(" \r\n\t "), "");
    EXPECT_EQ(platform::Trim(""), "");
    // With its own blanks a caller keeps the others.
    EXPECT_EQ(platform::Trim(" x\r", " \t"), "x\r");
    EXPECT_EQ(platform::Trim("\r x ", " \t\r"), "x");
}

TEST(UniqueFd, ClosesOnceAndHandsOwnershipOnByMoving) {
    int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        platform::UniqueFd a(raw);
        platform::UniqueFd b(std::move(a));
        EXPECT_FALSE(a.Valid());
        EXPECT_EQ(b.Get(), raw);
        platform::UniqueFd c;
        c = std::move(b);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    platform::UniqueFd owner(raw);
    EXPECT_EQ(owner.Release(), raw);
    EXPECT_FALSE(owner.Valid());
    EXPECT_TRUE(IsOpen(raw));
    EXPECT_TRUE(platform::UniqueFd(raw).Close());
    EXPECT_FALSE(IsOpen(raw));
}

TEST(WriteBesideThenRename, ReplacesWholeOrLeavesTheOldFileAndNoSibling) {
    vm::test::ScopedTempDir dir;
    const fs::path path = dir / "a.txt";
    ASSERT_TRUE(platform::WriteFileAtomic(path, "old"));
    ::chmod(path.c_str(), 0600);

    // A fill that fails keeps the old content; its reason stays in errno; nothing is left.
    errno = 0;
    EXPECT_FALSE(platform::WriteBesideThenRename(path, {path.string() + ".XXXXXX"}, [](int fd) {
        (void)platform::WriteAll(fd, "half", 4);
        errno = ENOSPC;
        return false;
    }));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(platform::ReadWholeFile(path), "old");
    EXPECT_EQ(Entries(dir.Path()), 1u);

    // A good one replaces it with the mode asked for.
    EXPECT_TRUE(
        platform::WriteBesideThenRename(path, {(dir / ".a.XXXXXX").string(), 0640, false},
                                        [](int fd) { return platform::WriteAll(fd, "new", 3); }));
    EXPECT_EQ(platform::ReadWholeFile(path), "new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir.Path()), 1u);

    // WriteFileAtomic keeps an existing file's mode.
    EXPECT_TRUE(platform::WriteFileAtomic(path, "newer"));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(platform::ReadWholeFile(path), "newer");
}

TEST(Clock, AScopedClockStandsInForTheSystemClockAndGoes) {
    const auto fixed = std::chrono::system_clock::from_time_t(1'800'000'000);
    {
        platform::ScopedClock clock(fixed);
        EXPECT_EQ(platform::Now(), fixed);
        EXPECT_EQ(platform::UnixNow(), 1'800'000'000);
    }
    const auto now = std::chrono::system_clock::now();
    EXPECT_LT(std::chrono::abs(platform::Now() - now), std::chrono::seconds(5));
}

}  // namespace
