#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/DataProtection.h"
#include "tests/support/ScopedTempDir.h"

namespace {

using platform::DataProtection;

TEST(DataProtection, ProtectedTextComesBackAndStoresAsUpperHex) {
    vm::test::ScopedTempDir dir;
    DataProtection protection(dir / "Velmora" / "key");
    const std::string hex = protection.ProtectToHex("用户 alice&1");
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(protection.UnprotectFromHex(hex), "用户 alice&1");
    // Two runs never give the same blob (a fresh nonce each time).
    EXPECT_NE(protection.ProtectToHex("x"), protection.ProtectToHex("x"));

    struct stat st {};
    ASSERT_EQ(::stat((dir / "Velmora" / "key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    // A second object (another process) reads the same key.
    EXPECT_EQ(DataProtection(dir / "Velmora" / "key").UnprotectFromHex(hex), "用户 alice&1");
}

TEST(DataProtection, ForeignOrAlteredBlobReadsAsError) {
    vm::test::ScopedTempDir dir;
    DataProtection mine(dir / "a" / "key");
    DataProtection other(dir / "b" / "key");
    const std::string hex = mine.ProtectToHex("secret");
    EXPECT_EQ(other.UnprotectFromHex(hex), "error!");

    for (std::size_t at : {std::size_t{0}, std::size_t{4}, hex.size() / 2, hex.size() - 1}) {
        std::string altered = hex;
        altered[at] = altered[at] == 'A' ? 'B' : 'A';
        EXPECT_EQ(mine.UnprotectFromHex(altered), "error!") << at;
    }
    EXPECT_EQ(mine.UnprotectFromHex(hex.substr(0, hex.size() - 2)), "error!");
    EXPECT_EQ(mine.UnprotectFromHex("not hex"), "error!");
    EXPECT_EQ(mine.UnprotectFromHex(""), "error!");
}

TEST(DataProtection, UnusableKeyFileIsNeverReplaced) {
    vm::test::ScopedTempDir dir;
    const auto key = dir / "key";
    {
        FILE* f = std::fopen(key.c_str(), "w");
        std::fputs("short", f);
        std::fclose(f);
    }
    DataProtection protection(key);
    EXPECT_EQ(protection.ProtectToHex("x"), "error!");
    EXPECT_EQ(std::filesystem::file_size(key), 5u);
}

}  // namespace
