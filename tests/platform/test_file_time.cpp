#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/FileAttributes.h"
#include "platform/FileTime.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

class FileTimeTest : public ::testing::Test {
  protected:
    vm::test::ScopedTempDir temp;
    const fs::path dir = temp.Path();
};

TEST(FileTime, ComputesWindowsFileTimesAndSplitsThemIntoSignedHalves) {
    EXPECT_EQ(platform::FileTimeFromTimespec({0, 0}), platform::kUnixEpochFileTime);
    EXPECT_EQ(platform::FileTimeFromTimespec({1, 999999999}),
              platform::kUnixEpochFileTime + 19999999);
    // Before 1970: tv_nsec stays positive.
    timespec before = platform::TimespecFromFileTime(platform::kUnixEpochFileTime - 1);
    EXPECT_EQ(before.tv_sec, -1);
    EXPECT_EQ(before.tv_nsec, 999999900);

    auto halves = platform::SplitFileTime(platform::kUnixEpochFileTime);
    EXPECT_EQ(halves.low, -717324288);  // 0xD53E8000
    EXPECT_EQ(halves.high, 27111902);   // 0x019DB1DE
    for (platform::FileTime ft :
         {platform::FileTime{0}, platform::FileTime{-1}, platform::FileTime{0x7fffffff80000000LL},
          platform::kUnixEpochFileTime + 123456789}) {
        EXPECT_EQ(platform::JoinFileTime(platform::SplitFileTime(ft)), ft);
    }
}

TEST_F(FileTimeTest, LastWriteTimeRoundTripsAndClearingAttributesAddsTheWriteBit) {
    fs::path f = dir / "f";
    std::ofstream(f) << "x";
    const platform::FileTime t = platform::kUnixEpochFileTime + 15000000000000000LL + 1234500;
    ASSERT_TRUE(platform::SetLastWriteTime(f, t));
    EXPECT_EQ(platform::LastWriteTime(f), t);
    EXPECT_EQ(platform::LastWriteTime(dir / "missing"), std::nullopt);

    chmod(f.c_str(), 0444);
    EXPECT_TRUE(platform::ClearFileAttributes(f));
    struct stat st {};
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
