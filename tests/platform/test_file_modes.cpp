#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/DataProtection.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

unsigned ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xffff;
}

// Runs body under umask 0, the widest a user may have set.
template <class F>
void WithOpenUmask(F body) {
    const mode_t old = ::umask(0);
    body();
    ::umask(old);
}

TEST(FileModes, AGivenModeHoldsWhateverTheUmaskAndTheOldFile) {
    vm::test::ScopedTempDir dir;
    WithOpenUmask([&] {
        ASSERT_TRUE(platform::WriteFileAtomic(dir / "secret", "a", platform::kPrivateFileMode));
        EXPECT_EQ(ModeOf(dir / "secret"), 0600u);
        ASSERT_TRUE(platform::WriteFileAtomic(dir / "shared", "a"));
        EXPECT_EQ(ModeOf(dir / "shared"), 0644u);
        ASSERT_EQ(::chmod((dir / "secret").c_str(), 0664), 0);
        ASSERT_TRUE(platform::WriteFileAtomic(dir / "secret", "b", platform::kPrivateFileMode));
        EXPECT_EQ(ModeOf(dir / "secret"), 0600u);
        EXPECT_EQ(platform::ReadWholeFile(dir / "secret"), "b");
        // Without a mode an existing file keeps its own.
        ASSERT_TRUE(platform::WriteFileAtomic(dir / "shared", "c"));
        EXPECT_EQ(ModeOf(dir / "shared"), 0644u);
    });
}

TEST(FileModes, PrivateFoldersAreCreatedAndNarrowed) {
    vm::test::ScopedTempDir dir;
    WithOpenUmask([&] {
        ASSERT_TRUE(platform::EnsurePrivateDir(dir / "a/b/Velmora"));
        EXPECT_EQ(ModeOf(dir / "a/b/Velmora"), 0700u);
        ASSERT_EQ(::chmod((dir / "a/b/Velmora").c_str(), 0755), 0);
        ASSERT_TRUE(platform::EnsurePrivateDir(dir / "a/b/Velmora"));
        EXPECT_EQ(ModeOf(dir / "a/b/Velmora"), 0700u);
    });
    // A link in its place is not our folder.
    fs::create_directory_symlink(dir / "a", dir / "link");
    EXPECT_FALSE(platform::EnsurePrivateDir(dir / "link"));

    ASSERT_TRUE(platform::WriteFileAtomic(dir / "jar", "x"));
    ASSERT_EQ(::chmod((dir / "jar").c_str(), 0644), 0);
    EXPECT_TRUE(platform::TightenFileMode(dir / "jar", platform::kPrivateFileMode));
    EXPECT_EQ(ModeOf(dir / "jar"), 0600u);
    EXPECT_TRUE(platform::TightenFileMode(dir / "missing", platform::kPrivateFileMode));
}

TEST(FileModes, TheKeyLivesInAPrivateFolder) {
    vm::test::ScopedTempDir dir;
    WithOpenUmask([&] {
        platform::DataProtection protection(dir / "data/Velmora/key");
        EXPECT_FALSE(protection.ProtectToHex("secret").empty());
    });
    EXPECT_EQ(ModeOf(dir / "data/Velmora"), 0700u);
    EXPECT_EQ(ModeOf(dir / "data/Velmora/key"), 0600u);
}

}  // namespace
