#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "net/NetServices.h"
#include "net/Statistics.h"
#include "tests/net/NetTestEnv.h"

namespace vm::test {
namespace {

class FixedAdapters : public IAdapterSource {
  public:
    explicit FixedAdapters(std::optional<std::vector<Address>> list) : m_list(std::move(list)) {}
    std::optional<std::vector<Address>> HardwareAddresses() override { return m_list; }

  private:
    std::optional<std::vector<Address>> m_list;
};

// Two adapters: 00-1A-2B-3C-4D-5E and 02-00-00-00-00-01. The digests below were computed
// apart from this code (md5 of "[0][26][43][60][77][94][2][0][0][0][0][1]", then of the id,
// the action and the salt).
const std::vector<IAdapterSource::Address> kTwoAdapters = {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                                                           {0x02, 0x00, 0x00, 0x00, 0x00, 0x01}};
constexpr char kUid[] = "f99e072927f2fcdfa119ab330632351e";
constexpr char kVerify4[] = "0a0f3cc90d605809157addd858d32509";
constexpr char kVerify5[] = "48bc17cd299922c77268eb7d68e738f1";
constexpr char kUnknownUid[] = "ad921d60486366258809553a3db49a4a";

class Statistic : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        services.Reply("/stat.php", "whatever");
    }
    // Waits for the n-th statistics request (workers are never joined).
    std::vector<RecordedRequest> WaitForPings(std::size_t n) {
        for (int i = 0; i < 1000 && services.RequestsTo("/stat.php").size() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return services.RequestsTo("/stat.php");
    }
};

TEST(MachineId, AdaptersInListOrderOrUnknown) {
    FixedAdapters two(kTwoAdapters);
    EXPECT_EQ(ComputeMachineId(two), kUid);
    FixedAdapters none(std::nullopt);
    EXPECT_EQ(ComputeMachineId(none), kUnknownUid);
    FixedAdapters empty(std::vector<IAdapterSource::Address>{});
    EXPECT_EQ(ComputeMachineId(empty), kUnknownUid);
    EXPECT_EQ(ComputeVerify(kUid, 4), kVerify4);
    EXPECT_EQ(ComputeVerify(kUid, 5), kVerify5);
    EXPECT_EQ(ComputeMachineId().size(), 32u);
}

TEST_F(Statistic, HeartbeatAndLoginCarryUidAndVerify) {
    auto adapters = std::make_shared<FixedAdapters>(kTwoAdapters);
    SendStatistic(4, adapters);
    ASSERT_EQ(WaitForPings(1).size(), 1u);
    SendStatistic(5, adapters);
    auto pings = WaitForPings(2);
    ASSERT_EQ(pings.size(), 2u);
    EXPECT_EQ(pings[0].target, std::string("/stat.php?action=4&uid=") + kUid +
                                   "&verify=" + kVerify4 + "&version=tvrn");
    EXPECT_EQ(pings[1].target, std::string("/stat.php?action=5&uid=") + kUid +
                                   "&verify=" + kVerify5 + "&version=tvrn");
    EXPECT_EQ(pings[1].Header("User-Agent"), "velmora-tvrn v1.019");
}

TEST_F(Statistic, NoAdaptersReportsTheDigestOfUnknown) {
    SendStatistic(0, std::make_shared<FixedAdapters>(std::nullopt));
    auto pings = WaitForPings(1);
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(pings[0].Param("uid"), kUnknownUid);
    EXPECT_EQ(pings[0].Param("verify"), ComputeVerify(kUnknownUid, 0));
}

TEST_F(Statistic, UnreachableServerIsSilent) {
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    Endpoints e = GetEndpoints();
    e.statServer = "http://127.0.0.1:" + std::to_string(closedPort);
    SetEndpoints(e);
    SendStatistic(4);
    EXPECT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(5)));
    EXPECT_EQ(CWorkerThread::LiveCount(), 0);
    EXPECT_TRUE(prompter->Texts().empty());
}

TEST_F(Statistic, InstalledServicesSendTheApplicationsActions) {
    InstallNetServices();
    EXPECT_EQ(theApp().Services().gameHost.Get(), "game.test.example");
    // Not worked out at start: the first run that needs it does.
    EXPECT_TRUE(theApp().Services().machineId.Get().empty());
    theApp().StartStatistic(3);
    auto pings = WaitForPings(1);
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_EQ(pings[0].Param("action"), "3");
    EXPECT_EQ(pings[0].Param("uid"), ComputeMachineId());
}

}  // namespace
}  // namespace vm::test
