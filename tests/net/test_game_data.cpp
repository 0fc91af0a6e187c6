#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>

#include "app/messages.h"
#include "net/CUploadLogThread.h"
#include "net/GameDataUpload.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/DataServerFake.h"

namespace vm::test {

using dev::DataServerFake;

namespace {

namespace fs = std::filesystem;

std::string Deflate(const std::string& in) {
    uLongf size = compressBound(in.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(in.data()), in.size(), Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

class GameData : public PassportTest {
  protected:
    void SetUp() override {
        PassportTest::SetUp();
        theApp().Game().folder.Set((home / "game").string() + "/");
    }
    void TearDown() override {
        theApp().CombatLog().collectedData.Set({});
        theApp().CombatLog().pieces.Set({});
        theApp().Game().folder.Set({});
        PassportTest::TearDown();
    }
    DataServerFake data{services};
};

TEST_F(GameData, UploadSignsTheProbeTokenAndTheDigests) {
    data.SetProbeAnswer("42:abc");
    std::string second;
    for (int i = 0; i < 100; ++i) second += static_cast<char>('a' + i % 7);
    theApp().CombatLog().collectedData.Set({"", second, "", {}});
    UploadGameData();

    auto uploads = data.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const auto& f = uploads[0];
    const std::string packed = Deflate(second);
    EXPECT_EQ(f.at("cache"), "0");
    EXPECT_EQ(f.at("module"), "velmora_tvrn_data_receiver");
    EXPECT_EQ(f.at("qelid"), "42");
    EXPECT_EQ(f.at("rup"), "0," + std::to_string(packed.size()) + ",0");
    EXPECT_EQ(f.at("data"), packed);

    // Without the add-on and the game: digests of the first piece, the token and H2.
    const std::string h1 = platform::Md5Hex(""), h2 = platform::Md5Hex("abc"),
                      h3 = platform::Md5Hex(h2);
    std::string block =
        packed.substr(0, 8) + "abc" + std::string(29, '\0') + h1 + h2 + h3 + packed.substr(8);
    ASSERT_EQ(block.size(), packed.size() + 128);
    EXPECT_EQ(f.at("checksum"), platform::Md5Hex(block));

    auto reqs = services.RequestsTo("/main.php");
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].target, "/main.php?cache=0&module=velmora_tvrn_data_receiver&ping=ping");
    EXPECT_EQ(reqs[1].Header("Content-Type"), "multipart/form-data, boundary=velmoraboundary1");
    EXPECT_TRUE(reqs[1].body.ends_with(packed + "\r\n--velmoraboundary1--\r\n"));
}

TEST_F(GameData, DigestsComeFromTheFilesWhenPresent) {
    Write(home / "game/Interface/VM_Hive/Hive.lua", "hive");
    Write(home / "game/Interface/VM_Hive/info.ini", "info");
    Write(home / "game/Tovrin.exe", "MZgame");
    data.SetProbeAnswer("7:");
    theApp().CombatLog().collectedData.Set({"first piece", "", "", {{"b", "B"}, {"a", "A"}}});
    UploadGameData();
    auto uploads = data.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const std::string p1 = Deflate("first piece"), pa = Deflate("A"), pb = Deflate("B");
    const std::string all = p1 + pa + pb;
    EXPECT_EQ(uploads[0].at("data"), all);
    EXPECT_EQ(uploads[0].at("rup"), std::to_string(p1.size()) + ",0,0," +
                                        std::to_string(pa.size()) + "," +
                                        std::to_string(pb.size()));
    const std::string block = all.substr(0, 8) + std::string(32, '\0') + platform::Md5Hex("hive") +
                              platform::Md5Hex("info") + platform::Md5Hex("MZgame") + all.substr(8);
    EXPECT_EQ(uploads[0].at("checksum"), platform::Md5Hex(block));
}

TEST_F(GameData, RefusedProbeOrNothingToSendSendsNothing) {
    theApp().CombatLog().collectedData.Set({"x", "", "", {}});
    for (const std::string& answer :
         {std::string("1:error"), std::string("error 5"), std::string("no colon"),
          std::string(80, 'i') + ":t", "1:" + std::string(80, 't')}) {
        data.SetProbeAnswer(answer);
        UploadGameData();
    }
    services.SetFault("/main.php", Fault::Status(500).Times(1));
    UploadGameData();
    theApp().CombatLog().collectedData.Set({});
    data.SetProbeAnswer("1:t");
    UploadGameData();
    EXPECT_TRUE(data.Uploads().empty());
    EXPECT_EQ(data.ProbeCount(), 6);

    // The longest id and token that fit their fields still go out.
    theApp().CombatLog().collectedData.Set({"x", "", "", {}});
    data.SetProbeAnswer(std::string(79, 'i') + ":" + std::string(79, 't'));
    UploadGameData();
    ASSERT_EQ(data.Uploads().size(), 1u);
    EXPECT_EQ(data.Uploads()[0].at("qelid"), std::string(79, 'i'));
}

TEST(CombatLog, TimeStampsAndPieces) {
    EXPECT_TRUE(ParseCombatLogTime("3/14 21:05:09.123  SPELL_DAMAGE,..."));
    EXPECT_TRUE(ParseCombatLogTime("12/1 01:05:09.000"));
    EXPECT_FALSE(ParseCombatLogTime("13/1 01:05:09.000"));
    EXPECT_FALSE(ParseCombatLogTime("3/14 21:5:09.123"));
    EXPECT_FALSE(ParseCombatLogTime("3/14 21:05:09"));
    EXPECT_FALSE(ParseCombatLogTime(" 3/14 21:05:09.123"));
    EXPECT_LT(*ParseCombatLogTime("3/14 21:05:09.123"), *ParseCombatLogTime("3/14 21:05:09.124"));
    EXPECT_LT(*ParseCombatLogTime("3/31 23:59:59.999"), *ParseCombatLogTime("4/1 00:00:00.000"));

    const std::string text =
        "3/14 21:00:00.000 before\n"
        "3/14 21:00:01.000 start\r\n"
        "garbage line\n"
        "3/14 21:00:02.000 inside\n"
        "3/14 21:00:03.000 at end\n"
        "3/14 21:00:03.001 after\n"
        "3/14 21:00:02.500 late again\n";
    auto extract = [&text](const char* start, const char* end) {
        std::istringstream log(text);
        return ExtractCombatLogPiece(log, start, end);
    };
    EXPECT_EQ(extract("3/14 21:00:00.000", "3/14 21:00:03.000"),
              "3/14 21:00:01.000 start\r\n3/14 21:00:02.000 inside\n3/14 21:00:03.000 at end\n");
    EXPECT_EQ(extract("3/14 22:00:00.000", "3/14 23:00:00.000"), "");
    EXPECT_EQ(extract("bad", "3/14 23:00:00.000"), "");
}

TEST_F(GameData, LogWorkerFillsPiecesAndStopsWhenAsked) {
    Write(home / "game/Logs/QelCombatLog.txt", "1/2 10:00:00.000 a\n1/2 10:00:05.000 b\n");
    COMBAT_LOG_PIECE piece;
    piece.startTime = "1/2 09:00:00.000";
    piece.endTime = "1/2 10:00:01.000";
    piece.fightName = "Boss";
    theApp().CombatLog().pieces.Set({piece});

    LogUploadStopEvent().Set();  // pressed before the worker even began: it resets it
    auto worker = std::make_unique<CUploadLogThread>();
    worker->m_pMainWnd = window;
    CWorkerThread::Start(std::move(worker));
    ASSERT_TRUE(window->Ids().empty());  // waits for the start event
    LogUploadStartEvent().Set();
    ASSERT_TRUE(window->WaitFor(WM_VM_LOG_PROGRESS));
    LogUploadStopEvent().Set();
    WaitForWorkers();

    const auto ids = window->Ids();
    ASSERT_GE(ids.size(), 5u);
    EXPECT_EQ(ids[0], WM_VM_LOG_STATUS);
    EXPECT_EQ(ids[1], WM_VM_LOG_STATUS);
    EXPECT_EQ(ids[2], WM_VM_LOG_PROGRESS);
    EXPECT_EQ(ids[ids.size() - 2], WM_VM_LOG_STOPPED);
    EXPECT_EQ(ids.back(), WM_VM_LOG_FINISHED);
    EXPECT_LT(ids.size(), 10u);
    EXPECT_EQ(std::get<std::string>(window->Of(WM_VM_LOG_STATUS)[0].payload), "准备上传日志……");
    EXPECT_EQ(window->Of(WM_VM_LOG_PROGRESS)[0].lParam, 99);
    EXPECT_EQ(theApp().CombatLog().pieces.Get()[0].buffer, "1/2 10:00:00.000 a\n");
    LogUploadStopEvent().Reset();
}

}  // namespace
}  // namespace vm::test
