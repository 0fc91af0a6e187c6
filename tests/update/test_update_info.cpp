#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/CVelmoraApp.h"
#include "platform/Clock.h"
#include "tests/support/ScopedTempDir.h"
#include "update/AutoUpdateDecision.h"
#include "update/ChecksumText.h"
#include "update/OnceADayTest.h"
#include "update/UpdateInfo.h"

namespace {

vm::UpdateInfoMap Parse(const std::string& text) {
    vm::UpdateInfoMap info;
    vm::ParseInfoText(text, info);
    return info;
}

TEST(UpdateInfo, BlockKeepsItsLinesWithCrLfAndLeavesOutComments) {
    auto info = Parse(
        "ChangeLog = {  ignored rest\r\n"
        "first line\r\n"
        "# not part of it\r\n"
        "  second = line {x}\n"
        "} and this closes\r\n"
        "Version=1.020\r\n");
    EXPECT_EQ(info["ChangeLog"], "first line\r\n  second = line {x}\r\n");
    EXPECT_EQ(info["Version"], "1.020");
    EXPECT_EQ(info.size(), 2u);
}

TEST(UpdateInfo, ReadsSingleLineEntriesAndIgnoresTheRest) {
    auto info = Parse(
        "# comment = yes\n"
        " \tClient\t =  /Velmora-TVRN/client.exe{ignored\r"
        "key with blanks = a b \n"
        "no equals sign here\n"
        "= no key\n"
        "  # indented = is a key\n"
        "Empty =\n"
        "NoCacheMode = 0\n"
        "NoCacheMode = 1");
    EXPECT_EQ(info["Client"], "/Velmora-TVRN/client.exe");
    EXPECT_EQ(info["key with blanks"], "a b ");
    EXPECT_EQ(info["# indented"], "is a key");
    EXPECT_EQ(info["Empty"], "");
    EXPECT_EQ(info["NoCacheMode"], "1");
    EXPECT_EQ(info.count("# comment"), 0u);
    EXPECT_EQ(info.size(), 5u);
}

TEST(UpdateInfo, AddsToWhatTheMapHoldsAndKeepsAnOpenBlock) {
    vm::UpdateInfoMap info{{"Version", "1.000"}, {"Old", "kept"}};
    vm::ParseInfoText("Version = 1.019\nLog = {\nunfinished\n", info);
    EXPECT_EQ(info["Version"], "1.019");
    EXPECT_EQ(info["Old"], "kept");
    EXPECT_EQ(info["Log"], "unfinished\r\n");
}

TEST(UpdateInfo, DecodesUtf16WithOrWithoutByteOrderMark) {
    const std::string body = vm::EncodeInfoBytes("serverTVRN官方 = /tvrn\r\n");
    ASSERT_EQ(body.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(vm::DecodeInfoBytes(body), "serverTVRN官方 = /tvrn\r\n");
    EXPECT_EQ(vm::DecodeInfoBytes(body.substr(2)), "serverTVRN官方 = /tvrn\r\n");
    EXPECT_EQ(vm::DecodeInfoBytes(body.substr(2) + "x"), "serverTVRN官方 = /tvrn\r\n");
    EXPECT_EQ(Parse(vm::DecodeInfoBytes(body))["serverTVRN官方"], "/tvrn");
}

TEST(UpdateInfo, OnlyKeysStartingWithServerPublishSets) {
    auto info = Parse(
        "serverXYZ = /xyz\n"
        "server官方服务器 = /gf\n"
        "myserver = /mine\n"
        "Server2 = /upper\n"
        "server = /nameless\n");
    auto sets = vm::PublishedSetsOf(info);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0], (std::pair<std::string, std::string>{"XYZ", "/xyz"}));
    EXPECT_EQ(sets[1], (std::pair<std::string, std::string>{"官方服务器", "/gf"}));

    std::vector<std::string> names{"stale"};
    std::map<std::string, std::string> folders{{"XYZ", "/first"}};
    vm::RebuildPublishedSets(info, names, folders);
    EXPECT_EQ(names, (std::vector<std::string>{"XYZ", "官方服务器"}));
    EXPECT_EQ(folders["XYZ"], "/first");  // a known name keeps its first folder
    EXPECT_EQ(folders["官方服务器"], "/gf");
}

TEST(ChecksumText, SplitsAtTheFirstLineBreakAndKeepsTheRestUnchanged) {
    auto crlf = vm::ParseChecksumText("aaa\r\nbbb");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(crlf->info, "aaa");
    EXPECT_EQ(crlf->list, "bbb");
    auto lf = vm::ParseChecksumText("aaa\nbbb\n");
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->info, "aaa");
    EXPECT_EQ(lf->list, "bbb\n");
    // CR LF anywhere wins over an earlier LF.
    auto mixed = vm::ParseChecksumText("a\nb\r\nc");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->info, "a\nb");
    EXPECT_EQ(mixed->list, "c");
    EXPECT_FALSE(vm::ParseChecksumText("no break at all"));
    EXPECT_EQ(vm::FormatChecksumText({"x", "y"}), "x\r\ny");
}

class OnceADay : public ::testing::Test {
  protected:
    void SetUp() override { vm::theApp().SetProgramDir(dir.Path()); }
    static vm::SystemTime Day(std::uint16_t d, std::uint16_t hour = 10) {
        return vm::SystemTime{2026, 12, 2, d, hour, 30, 0, 0};
    }
    vm::test::ScopedTempDir dir;
};

TEST_F(OnceADay, OffAnswersUpdateAndWritesNothing) {
    EXPECT_EQ(vm::RunOnceADayTest([] { return Day(8); }), vm::DayTest::Update);
    EXPECT_EQ(vm::theApp().GetProfileBinary("Update", "LastUpdate"), std::nullopt);
}

TEST_F(OnceADay, SameDayIsDoneAndEveryCallWritesNow) {
    vm::theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    // The main window's decimal seconds in the same entry count as another day.
    vm::theApp().WriteProfileInt("Update", "lastUpdate", 1796720000);
    EXPECT_EQ(vm::RunOnceADayTest([] { return Day(8, 9); }), vm::DayTest::Update);
    auto stored = vm::theApp().GetProfileBinary("Update", "LastUpdate");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, Day(8, 9).Encode());
    EXPECT_EQ(stored->size(), 16u);
    EXPECT_EQ((*stored)[0], 0xEA);  // 2026 little-endian
    EXPECT_EQ((*stored)[1], 0x07);

    EXPECT_EQ(vm::RunOnceADayTest([] { return Day(8, 23); }), vm::DayTest::AlreadyDoneToday);
    EXPECT_EQ(vm::RunOnceADayTest([] { return Day(9, 0); }), vm::DayTest::Update);
    EXPECT_EQ(vm::theApp().GetProfileBinary("Update", "LastUpdate"), Day(9, 0).Encode());
}

// The clock every date rule reads can be replaced, and the default day test and the
// automatic-update decision follow it (no test depends on the wall clock or midnight).
TEST_F(OnceADay, RulesFollowTheReplacedClock) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 14;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    local.tm_isdst = -1;
    const auto evening = std::chrono::system_clock::from_time_t(std::mktime(&local)) +
                         std::chrono::milliseconds(250);
    vm::theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    vm::theApp().PublishedState().updateInfo.Set({{"Version", "1.019"}});
    {
        auto at = evening;
        platform::ScopedClock clock([&at] { return at; });
        const vm::SystemTime now = vm::LocalNow();
        EXPECT_EQ(now.year, 2026);
        EXPECT_EQ(now.month, 3);
        EXPECT_EQ(now.day, 14);
        EXPECT_EQ(now.hour, 23);
        EXPECT_EQ(now.minute, 59);
        EXPECT_EQ(now.milliseconds, 250);
        EXPECT_EQ(vm::UnixNow(), std::chrono::system_clock::to_time_t(evening));
        EXPECT_EQ(vm::RunOnceADayTest(), vm::DayTest::Update);
        EXPECT_EQ(vm::RunOnceADayTest(), vm::DayTest::AlreadyDoneToday);
        EXPECT_EQ(vm::DecideAutomaticUpdate(), vm::AutoUpdateDecision::Start);
        at += std::chrono::hours(23);
        EXPECT_EQ(vm::DecideAutomaticUpdate(), vm::AutoUpdateDecision::UpdatedToday);
        at += std::chrono::hours(2);
        EXPECT_EQ(vm::DecideAutomaticUpdate(), vm::AutoUpdateDecision::Start);
        // The next calendar day is another day for the day test.
        at = evening + std::chrono::seconds(1);
        EXPECT_EQ(vm::LocalNow().day, 15);
        EXPECT_EQ(vm::RunOnceADayTest(), vm::DayTest::Update);
    }
    // Back on the system clock.
    EXPECT_LE(std::abs(vm::UnixNow() - static_cast<std::int64_t>(std::time(nullptr))), 5);
    vm::theApp().PublishedState().updateInfo.Set({});
}

}  // namespace
