#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "net/CConnectionException.h"
#include "net/CPHPServer.h"
#include "net/HttpTransfer.h"
#include "net/OneShot.h"
#include "net/Passport.h"
#include "net/RequestLimits.h"
#include "net/endpoints.h"
#include "tests/net/PassportTestEnv.h"

#if defined(__SANITIZE_ADDRESS__)
#define VM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VM_SANITIZED 1
#endif
#endif

namespace vm::test {
namespace {

using Clock = std::chrono::steady_clock;

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Servers that never finish an answer: one streams as fast as it can, one sends a byte now
// and then. Every request that holds its answer must give up, and within its deadline.
class BoundedAnswers : public PassportTest {
  protected:
    void SetUp() override {
        PassportTest::SetUp();
        limits.oneShotDeadlineMs = 2000;
        limits.communityDeadlineMs = 2000;
        scoped = std::make_unique<CScopedRequestLimits>(limits);
    }
    void TearDown() override {
        scoped.reset();
        PassportTest::TearDown();
    }
    void AllEndless(Fault fault) {
        services.SetFault("/stat.php", fault);
        for (const char* path :
             {"/passport_verify_account.php", "/client/public.php", "/passport_download_files.php"})
            server.SetFault(path, fault);
    }
    // The community login of one member: with no answer it fails (or throws its connection
    // error), it never waits for ever.
    static bool CommunityLoginFails() {
        try {
            return AcquireServer()->Login("alice", "", "pw", false) == nullptr;
        } catch (const CConnectionException&) {
            return true;
        }
    }
    // Far above the deadline of 2 s, far below "for ever".
    static constexpr auto kGiveUp = std::chrono::seconds(20);

    RequestLimits limits;
    std::unique_ptr<CScopedRequestLimits> scoped;
};

TEST_F(BoundedAnswers, EndlessBodiesStopAtTheCapAndMemoryStaysSmall) {
    AllEndless(Fault::Endless());
    const long before = PeakRssKiB();
    const auto start = Clock::now();

    PassportFireAndForget(StatUrl(0, "uid", "verify"));
    EXPECT_FALSE(PassportLogin("alice", "pw", 0));
    EXPECT_TRUE(CommunityLoginFails());
    std::string error;
    EXPECT_FALSE(OneShotRequest("GET", PassportDownloadUrl(), OneShotFlags::NoCacheWrite, {}, {},
                                {}, &error));
    EXPECT_NE(error.find("已停止接收"), std::string::npos) << error;

    EXPECT_LT(Clock::now() - start, kGiveUp);
    const long grownKiB = PeakRssKiB() - before;
    std::printf("peak RSS %ld KiB, grown by %ld KiB\n", PeakRssKiB(), grownKiB);
    // The sanitizer's quarantine keeps freed blocks: only the plain build measures.
#ifndef VM_SANITIZED
    EXPECT_LT(grownKiB, 16 * 1024);
    EXPECT_LT(PeakRssKiB(), 64 * 1024);
#endif
    EXPECT_EQ(services.RequestsTo("/stat.php").size(), 1u);
    EXPECT_EQ(server.RequestsTo("/client/public.php").size(), 1u);
}

TEST_F(BoundedAnswers, TricklingBodiesEndAtTheDeadline) {
    AllEndless(Fault::Trickle(std::chrono::milliseconds(200)));
    const auto start = Clock::now();
    EXPECT_FALSE(PassportLogin("alice", "pw", 0));
    EXPECT_TRUE(CommunityLoginFails());
    std::string error;
    EXPECT_FALSE(OneShotRequest("GET", PassportDownloadUrl(), OneShotFlags::NoCacheWrite, {}, {},
                                {}, &error));
    EXPECT_NE(error.find("秒内没有完成回应"), std::string::npos) << error;
    EXPECT_LT(Clock::now() - start, kGiveUp * 2);
}

TEST_F(BoundedAnswers, StatisticsPingClosesWithoutReadingTheBody) {
    // A deadline far away: only not reading the body can end the ping early.
    limits.oneShotDeadlineMs = 600000;
    CScopedRequestLimits longer(limits);
    services.SetFault("/stat.php", Fault::Trickle(std::chrono::milliseconds(500)));
    const auto start = Clock::now();
    PassportFireAndForget(StatUrl(0, "uid", "verify"));
    EXPECT_LT(Clock::now() - start, kGiveUp);
    EXPECT_EQ(services.RequestsTo("/stat.php").size(), 1u);
}

TEST_F(BoundedAnswers, AnAnnouncedOversizedAnswerIsRefusedBeforeItsBody) {
    server.Reply("/big", std::string((1u << 20) + 1, 'b'));
    HttpRequest request;
    request.url = server.Url("/big");
    request.maxBodyBytes = 1u << 20;
    std::size_t seen = 0;
    request.onData = [&](const char*, std::size_t n) {
        seen += n;
        return true;
    };
    CurlHandle handle = MakeCurlHandle();
    HttpResult result = RunTransfer(handle.get(), request);
    EXPECT_FALSE(result.Ok());
    EXPECT_TRUE(result.tooLarge);
    EXPECT_EQ(seen, 0u);
    // Exactly the cap still arrives whole.
    server.Reply("/fits", std::string(1u << 20, 'f'));
    request.url = server.Url("/fits");
    result = RunTransfer(handle.get(), request);
    EXPECT_TRUE(result.Ok()) << result.errorText;
    EXPECT_EQ(seen, 1u << 20);
}

}  // namespace
}  // namespace vm::test
