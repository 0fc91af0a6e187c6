#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/SafePath.h"
#include "archive/ZipArchive.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;
using vm::test::ScopedTempDir;

namespace {

struct RawEntry {
    std::string name;
    std::string data;
    bool symlink = false;
};

// Archives with names and attributes our own writer never produces.
void WriteRawZip(const fs::path& path, const std::vector<RawEntry>& entries) {
    int err = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(za, nullptr);
    for (const RawEntry& e : entries) {
        zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
        ASSERT_NE(src, nullptr);
        zip_int64_t index = zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << e.name;
        if (e.symlink) {
            ASSERT_EQ(zip_file_set_external_attributes(za, index, 0, ZIP_OPSYS_UNIX,
                                                       (S_IFLNK | 0777u) << 16),
                      0);
        }
    }
    ASSERT_EQ(zip_close(za), 0);
}

std::string Read(const fs::path& p) {
    return platform::ReadWholeFile(p).value_or("<missing>");
}

TEST(SafeRelativePath, AcceptsPlainNamesAndRefusesEveryEscape) {
    EXPECT_EQ(vm::SafeRelativePath("Info"), "Info");
    EXPECT_EQ(vm::SafeRelativePath("a\\b/./c//d.lua"), "a/b/c/d.lua");
    EXPECT_EQ(vm::SafeRelativePath("folder/"), "folder");
    EXPECT_EQ(vm::SafeRelativePath("..."), "...");
    for (const char* bad :
         {"", "/etc/passwd", "\\x", "\\\\host\\share\\x", "//host/x", "C:x", "c:\\x", "./C:x",
          "a/d:y", "../x", "a/../../x", "a\\..\\x", "..", "./", "a/.."}) {
        EXPECT_FALSE(vm::SafeRelativePath(bad)) << bad;
    }
    EXPECT_FALSE(vm::SafeRelativePath(std::string("a\0b", 3)));
    EXPECT_FALSE(vm::IsSafeRelativePath(std::string("a\0b", 3)));
    // The check alone agrees with the full answer.
    for (const char* name : {"Info", "a\\b/./c//d.lua", "folder/", "...", "", "/etc/passwd", "C:x",
                             "./C:x", "a/../../x", "..", "./", "a/..", "x/./y"}) {
        EXPECT_EQ(vm::IsSafeRelativePath(name), vm::SafeRelativePath(name).has_value()) << name;
    }
}

TEST(ZipArchive, ExtractsEveryEntryWithItsStoredPath) {
    ScopedTempDir dir;
    auto bytes = vm::MakeZip({{"Info", "one"}, {"sub/deep/a.lua", "two"}, {"b\\c.txt", "three"}});
    ASSERT_TRUE(bytes);
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "a.z", *bytes));
    fs::create_directories(dir / "out");
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "out/Info", "old content"));

    auto result = vm::ExtractZipFile(dir / "a.z", dir / "out");
    EXPECT_TRUE(result.Complete()) << result.error;
    EXPECT_EQ(Read(dir / "out/Info"), "one");
    EXPECT_EQ(Read(dir / "out/sub/deep/a.lua"), "two");
    EXPECT_EQ(Read(dir / "out/b/c.txt"), "three");
    EXPECT_EQ(result.written, (std::vector<std::string>{"Info", "sub/deep/a.lua", "b/c.txt"}));
    // No temporary siblings left behind.
    std::size_t count = 0;
    for (auto& e : fs::recursive_directory_iterator(dir / "out"))
        count += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(count, 3u);
}

TEST(ZipArchive, RefusesEntriesThatWouldLandOutsideAndKeepsTheRest) {
    ScopedTempDir dir;
    const fs::path canary = dir / "canary.txt";
    ASSERT_TRUE(platform::WriteFileAtomic(canary, "keep"));
    fs::create_directories(dir / "target/x");
    const std::string absolute = canary.string();
    WriteRawZip(dir / "evil.z", {{"../canary.txt", "bad"},
                                 {"..\\canary.txt", "bad"},
                                 {"x/../../canary.txt", "bad"},
                                 {"x\\..\\..\\canary.txt", "bad"},
                                 {absolute, "bad"},
                                 {"C:canary.txt", "bad"},
                                 {"C:\\canary.txt", "bad"},
                                 {"\\\\host\\share\\canary.txt", "bad"},
                                 {"//host/share/canary.txt", "bad"},
                                 {"good.txt", "fine"}});

    auto result = vm::ExtractZipFile(dir / "evil.z", dir / "target");
    EXPECT_TRUE(result.Ok()) << result.error;
    EXPECT_FALSE(result.Complete());
    EXPECT_EQ(result.refused.size(), 9u);
    EXPECT_EQ(Read(canary), "keep");
    EXPECT_EQ(Read(dir / "target/good.txt"), "fine");
    std::vector<std::string> inside;
    for (auto& e : fs::recursive_directory_iterator(dir / "target"))
        inside.push_back(e.path().lexically_relative(dir / "target").string());
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, (std::vector<std::string>{"good.txt", "x"}));
}

TEST(ZipArchive, NeverCreatesOrFollowsLinks) {
    ScopedTempDir dir;
    const fs::path canary = dir / "canary.txt";
    const fs::path outside = dir / "outside";
    ASSERT_TRUE(platform::WriteFileAtomic(canary, "keep"));
    fs::create_directories(outside);
    fs::create_directories(dir / "target");
    // Links already in the target: a folder pointing away and a file pointing at the canary.
    fs::create_directory_symlink(outside, dir / "target/away");
    fs::create_symlink(canary, dir / "target/over.txt");

    WriteRawZip(dir / "links.z", {{"link", canary.string(), true},
                                  {"away/x.txt", "bad"},
                                  {"away/new/y.txt", "bad"},
                                  {"over.txt", "replaced"}});
    auto result = vm::ExtractZipFile(dir / "links.z", dir / "target");
    EXPECT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(result.refused, (std::vector<std::string>{"link", "away/x.txt", "away/new/y.txt"}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "target/link")));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(Read(canary), "keep");
    // The entry replaced the link itself instead of writing through it.
    EXPECT_FALSE(fs::is_symlink(dir / "target/over.txt"));
    EXPECT_EQ(Read(dir / "target/over.txt"), "replaced");
}

TEST(ZipArchive, CapsEntrySizeAndTotalSize) {
    EXPECT_EQ(vm::ZipLimits{}.maxEntryBytes, 512ull << 20);
    EXPECT_EQ(vm::ZipLimits{}.maxTotalBytes, 1ull << 30);

    ScopedTempDir dir;
    const vm::ZipLimits limits{100, 250};
    auto big = vm::MakeZip({{"big", std::string(150, 'a')}, {"small", std::string(100, 'b')}});
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "big.z", *big));
    auto result = vm::ExtractZipFile(dir / "big.z", dir / "one", limits);
    EXPECT_TRUE(result.Ok());
    EXPECT_EQ(result.refused, std::vector<std::string>{"big"});
    EXPECT_FALSE(fs::exists(dir / "one/big"));
    EXPECT_EQ(Read(dir / "one/small"), std::string(100, 'b'));

    // Together past the total: refused whole, nothing written.
    auto many = vm::MakeZip(
        {{"a", std::string(100, 'a')}, {"b", std::string(100, 'b')}, {"c", std::string(100, 'c')}});
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "many.z", *many));
    result = vm::ExtractZipFile(dir / "many.z", dir / "two", limits);
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.error, "压缩文件解压后过大，已拒绝解压。");
    EXPECT_TRUE(!fs::exists(dir / "two") || fs::is_empty(dir / "two"));

    // A highly compressible entry is refused by its size, not by what it costs to store.
    auto zeros = vm::MakeZip({{"zeros", std::string(1 << 20, '\0')}});
    ASSERT_LT(zeros->size(), 4096u);
    EXPECT_EQ(vm::ReadZipEntry(*zeros, "zeros", {1000, 1000}), std::nullopt);
}

TEST(ZipArchive, ReportsWhatCannotBeOpened) {
    ScopedTempDir dir;
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "plain.z", "not an archive"));
    auto result = vm::ExtractZipFile(dir / "plain.z", dir / "out");
    EXPECT_FALSE(result.opened);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(vm::ExtractZipFile(dir / "missing.z", dir / "out").Ok());
    EXPECT_EQ(vm::ReadZipEntry("not an archive", "x"), std::nullopt);
}

}  // namespace
