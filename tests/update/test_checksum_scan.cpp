#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/CWorkerThread.h"
#include "app/Globals.h"
#include "platform/FileTime.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "tests/support/ScopedTempDir.h"
#include "update/CChecksumThread.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"
#include "update/ChecksumScan.h"

namespace fs = std::filesystem;

namespace {

constexpr char kHello[] = "5d41402abc4b2a76b9719d911017c592";
constexpr char kWorld[] = "7d793037a0760186574b0282f2f435e7";
constexpr char kEmpty[] = "d41d8cd98f00b204e9800998ecf8427e";

TEST(ChecksumCache, WritesTheLineFormatByteForByte) {
    vm::ChecksumCache cache;
    ASSERT_TRUE(cache.Store("/g/interface/b.lua", {{-717324288, 27111902}, kHello}));
    ASSERT_TRUE(cache.Store("/g/interface/a.lua", {{-1, INT32_MIN}, kWorld}));
    EXPECT_FALSE(cache.Store("/g/interface/new\nline", {{1, 2}, kWorld}));
    const std::string text = cache.Serialize();
    EXPECT_EQ(text, std::string("/g/interface/a.lua|-1|-2147483648|") + kWorld + "\n" +
                        "/g/interface/b.lua|-717324288|27111902|" + kHello + "\n");
    EXPECT_EQ(vm::ChecksumCache::Parse(text).Serialize(), text);
}

TEST(ChecksumCache, FileIsInPathOrderWhateverOrderTheFilesWereMet) {
    vm::ChecksumCache forward, backward;
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i) keys.push_back("/g/interface/f" + std::to_string(i) + ".lua");
    for (const auto& k : keys) ASSERT_TRUE(forward.Store(k, {{1, 2}, kHello}));
    for (auto k = keys.rbegin(); k != keys.rend(); ++k)
        ASSERT_TRUE(backward.Store(*k, {{1, 2}, kHello}));
    const std::string text = forward.Serialize();
    EXPECT_EQ(backward.Serialize(), text);
    std::sort(keys.begin(), keys.end());
    std::string expected;
    for (const auto& k : keys) expected += k + "|1|2|" + kHello + "\n";
    EXPECT_EQ(text, expected);
}

TEST(ChecksumCache, ReadsOnlyWellFormedLines) {
    const std::string good = std::string("|1|2|") + kHello;
    const std::string text = std::string("/G/Interface/Upper.lua") + good + "\n" +  // lower-cased
                             "/g/crlf.lua|1|2|" + kHello + "\r\n" +                 // 33 characters
                             "/g/short.lua|1|2|abc\n" + good + "\n" +               // empty path
                             "/g/a|b.lua|5|6|" + kWorld + "\n" +  // '|' in a Linux name
                             "/g/twice.lua|1|1|" + kHello + "\n" + "/g/twice.lua|3|4|" + kWorld +
                             "\n" + "no separators\n" + "/g/huge.lua|4294967295|x|" + kHello +
                             "\n" + "/g/unterminated.lua|1|2|" + kHello;
    auto cache = vm::ChecksumCache::Parse(text);
    EXPECT_EQ(cache.Size(), 4u);
    ASSERT_TRUE(cache.Find("/g/interface/upper.lua"));
    EXPECT_EQ(cache.Find("/g/interface/upper.lua")->checksum, kHello);
    ASSERT_TRUE(cache.Find("/g/a|b.lua"));
    EXPECT_EQ(cache.Find("/g/a|b.lua")->time, (platform::FileTimeHalves{5, 6}));
    ASSERT_TRUE(cache.Find("/g/twice.lua"));
    EXPECT_EQ(cache.Find("/g/twice.lua")->checksum, kWorld);
    ASSERT_TRUE(cache.Find("/g/huge.lua"));
    EXPECT_EQ(cache.Find("/g/huge.lua")->time, (platform::FileTimeHalves{-1, 0}));
}

// A loaded cache keeps its keys in its own text: they must outlive a move, sit beside keys
// stored afterwards, and come out as the same bytes.
TEST(ChecksumCache, LoadedAndStoredEntriesSurviveMovesAndWriteBackTheSameBytes) {
    vm::test::ScopedTempDir dir;
    const fs::path file = dir.Path() / "vmmd5index.dat";
    const std::string loaded = std::string("/G/Interface/B.lua|7|8|") + kHello + "\n" +
                               "/g/interface/d.lua|-3|4|" + kWorld + "\n" + "/g/broken.lua|1|2|" +
                               "short\n" + "/g/unterminated.lua|1|2|" + kHello;
    ASSERT_TRUE(platform::WriteFileAtomic(file, loaded));
    vm::ChecksumCache first = vm::ChecksumCache::Load(file);
    EXPECT_EQ(first.Size(), 2u);
    EXPECT_FALSE(first.Changed());
    // The same entry again changes nothing; a checksum the line cannot carry is refused.
    EXPECT_TRUE(first.Store("/g/interface/d.lua", {{-3, 4}, kWorld}));
    EXPECT_FALSE(first.Store("/g/interface/e.lua", {{1, 1}, "abc"}));
    EXPECT_FALSE(first.Changed());
    EXPECT_TRUE(first.Store("/g/interface/a.lua", {{1, 1}, kEmpty}));
    EXPECT_TRUE(first.Store("/g/interface/d.lua", {{5, 6}, kHello}));
    EXPECT_TRUE(first.Changed());

    vm::ChecksumCache moved = std::move(first);
    vm::ChecksumCache cache;
    cache = std::move(moved);
    ASSERT_TRUE(cache.Find("/g/interface/b.lua"));
    EXPECT_EQ(cache.Find("/g/interface/b.lua")->checksum, kHello);
    EXPECT_EQ(cache.Find("/g/interface/b.lua")->time, (platform::FileTimeHalves{7, 8}));
    EXPECT_FALSE(cache.Find("/G/Interface/B.lua"));
    ASSERT_TRUE(cache.Find("/g/interface/a.lua"));
    EXPECT_EQ(cache.Find("/g/interface/a.lua")->checksum, kEmpty);
    EXPECT_EQ(cache.Find("/g/interface/d.lua")->time, (platform::FileTimeHalves{5, 6}));
    EXPECT_FALSE(cache.Find("/g/broken.lua"));
    EXPECT_FALSE(cache.Find("/g/unterminated.lua"));

    ASSERT_TRUE(cache.Save(file));
    const std::string expected = std::string("/g/interface/a.lua|1|1|") + kEmpty + "\n" +
                                 "/g/interface/b.lua|7|8|" + kHello + "\n" +
                                 "/g/interface/d.lua|5|6|" + kHello + "\n";
    EXPECT_EQ(platform::ReadWholeFile(file), expected);
    EXPECT_EQ(vm::ChecksumCache::Load(file).Serialize(), expected);
}

TEST(ChecksumMap, KeepsCaseDistinctFilesApart) {
    vm::ChecksumMap map;
    map.Insert("/g/Interface/A.lua", kHello);
    map.Insert("/g/Interface/a.lua", kWorld);
    map.Insert("/g/Interface/Only.lua", kEmpty);
    EXPECT_EQ(map.Find("/g/Interface/A.lua"), kHello);
    EXPECT_EQ(map.Find("/g/Interface/a.lua"), kWorld);
    EXPECT_EQ(map.Find("/g/interface/A.LUA"), std::nullopt);  // which one? neither
    EXPECT_EQ(map.Find("/g/interface/only.LUA"), kEmpty);
    EXPECT_EQ(map.Find("/g//Interface/./Only.lua"), kEmpty);
}

class ScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        game = root.string() + "/game/";
        iface = fs::path(game) / "Interface";
        cacheFile = root / "vmmd5index.dat";
        fs::create_directories(iface);
    }

    void Write(const std::string& rel, const std::string& bytes, platform::FileTime t) {
        fs::path p = iface / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        ASSERT_TRUE(platform::SetLastWriteTime(p, t));
    }
    vm::ChecksumScanResult Scan(int cancel = 0) {
        std::atomic<int> flag{cancel};
        return vm::RunChecksumScan(game, cacheFile, map, flag);
    }
    std::string CacheText() const {
        return platform::ReadWholeFile(cacheFile).value_or("<missing>");
    }

    vm::test::ScopedTempDir temp;
    const fs::path root = temp.Path();
    fs::path iface, cacheFile;
    std::string game;
    vm::ChecksumMap map;
    const platform::FileTime t1 = platform::kUnixEpochFileTime + 17000000000000000LL;
};

TEST_F(ScanTest, HashesOnceThenTrustsUnchangedWriteTimes) {
    Write("AddOns/Foo/Foo.lua", "hello", t1);
    Write("Readme.txt", "", t1 + 1);
    auto cold = Scan();
    EXPECT_EQ(cold.hashed, 2u);
    EXPECT_EQ(cold.fromCache, 0u);
    EXPECT_TRUE(cold.cacheSaved);
    EXPECT_EQ(map.Find((iface / "AddOns/Foo/Foo.lua").string()), kHello);
    EXPECT_EQ(map.Find((iface / "readme.TXT").string()), kEmpty);
    const auto h = platform::SplitFileTime(t1);
    const auto h1 = platform::SplitFileTime(t1 + 1);
    const std::string lower = platform::AsciiLower(root.string() + "/game/interface/");
    EXPECT_EQ(CacheText(), lower + "addons/foo/foo.lua|" + std::to_string(h.low) + "|" +
                               std::to_string(h.high) + "|" + kHello + "\n" + lower +
                               "readme.txt|" + std::to_string(h1.low) + "|" +
                               std::to_string(h1.high) + "|" + kEmpty + "\n");

    // Restored with its old write time: the cached checksum stands, new content or not.
    Write("AddOns/Foo/Foo.lua", "world", t1);
    // A new write time means a new hash.
    Write("Readme.txt", "world", t1 + 2);
    auto warm = Scan();
    EXPECT_EQ(warm.hashed, 1u);
    EXPECT_EQ(warm.fromCache, 1u);
    EXPECT_EQ(map.Find((iface / "AddOns/Foo/Foo.lua").string()), kHello);
    EXPECT_EQ(map.Find((iface / "Readme.txt").string()), kWorld);
}

TEST_F(ScanTest, DroppedCacheLinesAndVanishedFilesAreHandled) {
    Write("a.lua", "hello", t1);
    const auto h = platform::SplitFileTime(t1);
    const std::string key = platform::AsciiLower(root.string() + "/game/interface/a.lua");
    // 33 characters (a trailing CR): ignored, so the file is hashed again.
    const std::string gone =
        platform::AsciiLower(root.string()) + "/game/interface/gone.lua|1|2|" + kWorld + "\n";
    ASSERT_TRUE(platform::WriteFileAtomic(cacheFile, key + "|" + std::to_string(h.low) + "|" +
                                                         std::to_string(h.high) + "|" + kWorld +
                                                         "\r\n" + gone));
    auto r = Scan();
    EXPECT_EQ(r.hashed, 1u);
    EXPECT_EQ(map.Find((iface / "a.lua").string()), kHello);
    // Entries of files that no longer exist are kept.
    EXPECT_NE(CacheText().find(gone), std::string::npos);
    EXPECT_EQ(map.Size(), 1u);
}

TEST_F(ScanTest, NamesThatDifferOnlyInCaseNeverShareAChecksum) {
    Write("Skin/A.tga", "hello", t1);
    Write("Skin/a.tga", "world", t1);  // same time, same lower-cased cache key
    Write("skin/x.tga", "", t1);       // a sibling folder of the same name ignoring case
    for (int run = 0; run < 2; ++run) {
        auto r = Scan();
        EXPECT_EQ(r.hashed, 3u) << "run " << run;
        EXPECT_EQ(map.Find((iface / "Skin/A.tga").string()), kHello);
        EXPECT_EQ(map.Find((iface / "Skin/a.tga").string()), kWorld);
        EXPECT_EQ(map.Find((iface / "skin/x.tga").string()), kEmpty);
    }
}

TEST_F(ScanTest, UnreadableAndSpecialFilesAreLeftOut) {
    Write("ok.lua", "hello", t1);
    fs::create_symlink(iface / "missing", iface / "dangling.lua");
    ASSERT_EQ(mkfifo((iface / "pipe.lua").c_str(), 0600), 0);
    auto r = Scan();
    EXPECT_EQ(r.hashed, 1u);
    EXPECT_EQ(map.Size(), 1u);
}

TEST_F(ScanTest, LeavesItsWalkWithEachFilesChecksumAndSaysWhenItIsDone) {
    Write("a.lua", "hello", t1);
    Write("sub/b.lua", "world", t1);
    ASSERT_EQ(::mkfifo((iface / "pipe").c_str(), 0600), 0);
    std::atomic<int> calls{0};
    std::size_t sizeWhenDone = 0;
    const auto r = vm::RunChecksumScan(
        game, cacheFile, map, [] { return false; },
        [&] {
            ++calls;
            sizeWhenDone = map.Size();
        });
    EXPECT_EQ(r.hashed, 2u);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(sizeWhenDone, 2u);  // called once the map is complete
    auto walk = map.TakeWalk((iface).string());
    ASSERT_TRUE(walk);
    ASSERT_EQ(walk->checksums.size(), walk->files.size());
    std::map<std::string, std::string> carried;
    for (std::size_t i = 0; i < walk->files.size(); ++i)
        carried[walk->files[i]] = std::string(walk->checksums[i].View());
    EXPECT_EQ(carried,
              (std::map<std::string, std::string>{{(iface / "a.lua").string(), kHello},
                                                  {(iface / "pipe").string(), ""},
                                                  {(iface / "sub/b.lua").string(), kWorld}}));
}

TEST_F(ScanTest, CancelledScanStillSavesTheCacheAndSignalsTheEnd) {
    Write("a.lua", "hello", t1);
    const std::string old = std::string("/elsewhere/b.lua|1|2|") + kWorld + "\n";
    ASSERT_TRUE(platform::WriteFileAtomic(cacheFile, old));

    g_cancelUpdate = 1;
    g_scanDone.Reset();
    vm::ChecksumMap::Instance().Insert("/stale", kHello);
    auto thread = std::make_unique<vm::CChecksumThread>();
    thread->m_gameFolder = game;
    thread->m_cacheFile = cacheFile;
    ASSERT_TRUE(vm::CWorkerThread::Start(std::move(thread), vm::CWorkerThread::Priority::Lowest));
    ASSERT_TRUE(g_scanDone.WaitFor(std::chrono::seconds(30)));
    g_cancelUpdate = 0;

    EXPECT_EQ(CacheText(), old);
    EXPECT_EQ(vm::ChecksumMap::Instance().Size(), 0u);

    // Not cancelled, the worker fills the process-wide map.
    g_scanDone.Reset();
    thread = std::make_unique<vm::CChecksumThread>();
    thread->m_gameFolder = game;
    thread->m_cacheFile = cacheFile;
    ASSERT_TRUE(vm::CWorkerThread::Start(std::move(thread), vm::CWorkerThread::Priority::Lowest));
    ASSERT_TRUE(g_scanDone.WaitFor(std::chrono::seconds(30)));
    EXPECT_EQ(vm::ChecksumMap::Instance().Find((iface / "a.lua").string()), kHello);
}

TEST_F(ScanTest, CrashWhileWritingTheCacheLeavesTheOldOneWhole) {
    Write("a.lua", "hello", t1);
    ASSERT_TRUE(Scan().cacheSaved);
    const std::string old = CacheText();
    for (int i = 0; i < 300; ++i) Write("many/file" + std::to_string(i) + ".lua", "x", t1);

    // The child may write at most 4 KiB into any file: the new cache is far larger, so the
    // kernel kills it (SIGXFSZ) halfway through writing.
    ASSERT_LT(old.size(), 4096u);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_DFL);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        Scan();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(CacheText(), old);
}

}  // namespace
