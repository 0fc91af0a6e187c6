#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/ScopedTempDir.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override { path = dir / "Velmora.ini"; }
    std::string Content() { return platform::ReadWholeFile(path).value_or("<missing>"); }
    void Put(const std::string& s) { std::ofstream(path, std::ios::binary) << s; }

    vm::test::ScopedTempDir m_temp;
    fs::path dir = m_temp.Path();
    fs::path path;
};

TEST_F(IniFileTest, MissingFileAndKeysGiveTheCallersDefault) {
    platform::IniFile ini(path);
    EXPECT_EQ(ini.GetInt("Update", "Server", 0), 0);
    EXPECT_EQ(ini.GetInt("Upload", "FirstRun", 1), 1);
    EXPECT_EQ(ini.GetInt("Path", "PathType", -1), -1);
    EXPECT_EQ(ini.GetString("Misc", "CloseMeanMin", "true"), "true");
    EXPECT_FALSE(ini.GetBinary("Update", "LastUpdate").has_value());
    EXPECT_FALSE(fs::exists(path)) << "reading must not create the file";
}

TEST_F(IniFileTest, NamesAreCaseInsensitiveAndRewritesKeepTheRestOfTheFile) {
    Put("; kept comment\r\n[update]\r\nserver = 2\r\nVersion=\"Set "
        "A\"\r\n\r\n[Misc]\r\nConfirmExit=0\r\n");
    platform::IniFile ini(path);
    EXPECT_EQ(ini.GetInt("UPDATE", "Server", 0), 2);
    EXPECT_EQ(ini.GetString("Update", "version", ""), "Set A");  // quotes are not the value
    EXPECT_TRUE(ini.WriteInt("Update", "SERVER", 1));
    EXPECT_TRUE(ini.WriteString("Update", "AutoRun", "1"));
    EXPECT_TRUE(ini.WriteString("Guest", "Door", "abc"));
    EXPECT_EQ(Content(),
              "; kept comment\r\n[update]\r\nSERVER=1\r\nVersion=\"Set A\"\r\nAutoRun=1\r\n\r\n"
              "[Misc]\r\nConfirmExit=0\r\n[Guest]\r\nDoor=abc\r\n");
    EXPECT_TRUE(ini.DeleteKey("update", "autorun"));
    EXPECT_EQ(ini.GetInt("Update", "AutoRun", 7), 7);
}

TEST_F(IniFileTest, IntegersParseLikeTheProfileCalls) {
    EXPECT_EQ(platform::IniFile::ParseInt("42abc", 5), 42);
    EXPECT_EQ(platform::IniFile::ParseInt("  -1", 5), -1);
    EXPECT_EQ(platform::IniFile::ParseInt("0x10", 5), 16);
    EXPECT_EQ(platform::IniFile::ParseInt("MFAAKHAB", 5), 0);
    EXPECT_EQ(platform::IniFile::ParseInt("", 5), 5);
}

TEST_F(IniFileTest, BinaryValuesUseTwoLettersPerByteLowHalfFirst) {
    platform::IniFile ini(path);
    ASSERT_TRUE(ini.WriteBinary("Update", "LastUpdate", {0x5C, 0x00, 0xFF, 0x12}));
    EXPECT_EQ(ini.GetString("Update", "LastUpdate", ""), "MFAAPPCB");
    auto back = ini.GetBinary("Update", "LastUpdate");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<std::uint8_t>{0x5C, 0x00, 0xFF, 0x12}));
    EXPECT_FALSE(platform::IniFile::DecodeBinary("MFA"));   // half a byte
    EXPECT_FALSE(platform::IniFile::DecodeBinary("MFZZ"));  // not a letter of the form
}

TEST_F(IniFileTest, LastUpdateAndlastUpdateAreOneEntryReadInBothEncodings) {
    platform::IniFile ini(path);
    std::vector<std::uint8_t> record(16, 0x07);
    ASSERT_TRUE(ini.WriteBinary("Update", "LastUpdate", record));
    // The seconds reader meets the binary record and reads 0.
    EXPECT_EQ(ini.GetInt("Update", "lastUpdate", 0), 0);
    ASSERT_TRUE(ini.WriteInt("Update", "lastUpdate", 1765200000));
    // The record reader meets decimal text and finds no record.
    EXPECT_FALSE(ini.GetBinary("Update", "LastUpdate").has_value());
    // Still one line for both spellings.
    std::string c = Content();
    EXPECT_EQ(c, "[Update]\nlastUpdate=1765200000\n");
}

TEST_F(IniFileTest, ValuesWithLineBreaksAreRefusedAndForgeNothing) {
    platform::IniFile ini(path);
    ASSERT_TRUE(ini.WriteInt("Update", "Server", 1));
    const std::string before = Content();
    EXPECT_FALSE(ini.WriteString("Update", "Version", "x\nServer=2"));
    EXPECT_FALSE(ini.WriteString("Update", "Version", "x\r[Guest]"));
    EXPECT_FALSE(ini.WriteString("Up\ndate", "Version", "x"));
    EXPECT_FALSE(ini.WriteString("Update", "Ver=sion", "x"));
    EXPECT_EQ(Content(), before);
    EXPECT_EQ(ini.GetInt("Update", "Server", 0), 1);
}

// Every intermediate file a reader can see is whole: each line a header or key=value, and the
// keys written before are all there.
bool WellFormed(const std::string& c) {
    if (c.empty()) return true;
    if (c.back() != '\n') return false;
    std::istringstream in(c);
    std::string line;
    while (std::getline(in, line))
        if (line.empty() || (line.front() != '[' && line.find('=') == std::string::npos))
            return false;
    return true;
}

TEST_F(IniFileTest, ConcurrentWritersInThreadsAndProcessesLoseNothing) {
    constexpr int kCount = 150;
    const fs::path writer = VM_INI_WRITER;
    ASSERT_TRUE(fs::exists(writer)) << writer;

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            auto c = platform::ReadWholeFile(path);
            if (c && !WellFormed(*c)) ++torn;
        }
    });

    std::vector<pid_t> pids;
    for (const char* key : {"ProcA", "ProcB"}) {
        std::string p = writer.string(), file = path.string(), count = std::to_string(kCount);
        char* argv[] = {
            p.data(),     file.data(), const_cast<char*>("Proc"), const_cast<char*>(key),
            count.data(), nullptr};
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, p.c_str(), nullptr, nullptr, argv, environ), 0);
        pids.push_back(pid);
    }
    auto threadWriter = [&](const char* key) {
        platform::IniFile ini(path);
        for (int i = 0; i < kCount; ++i) ASSERT_TRUE(ini.WriteInt("Thread", key, i));
    };
    std::thread t1(threadWriter, "T1"), t2(threadWriter, "T2");
    t1.join();
    t2.join();
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    stop = true;
    reader.join();

    platform::IniFile ini(path);
    EXPECT_EQ(ini.GetInt("Thread", "T1", -1), kCount - 1);
    EXPECT_EQ(ini.GetInt("Thread", "T2", -1), kCount - 1);
    EXPECT_EQ(ini.GetInt("Proc", "ProcA", -1), kCount - 1);
    EXPECT_EQ(ini.GetInt("Proc", "ProcB", -1), kCount - 1);
    EXPECT_EQ(torn.load(), 0);
    // No temporary siblings are left behind.
    for (auto& e : fs::directory_iterator(dir))
        EXPECT_TRUE(e.path() == path || e.path().extension() == ".lock") << e.path();
}

}  // namespace
