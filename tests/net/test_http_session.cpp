#include <gtest/gtest.h>

#include <fstream>

#include "net/CHttpSession.h"
#include "net/HttpFetch.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "tests/net/NetTestEnv.h"

namespace vm::test {
namespace {

class SharedSession : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        std::filesystem::create_directories(home / "mirror");
        GetSharedSession().SetTimeouts({});
    }
    void Publish(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(platform::WriteFileAtomic(home / "mirror" / name, bytes));
        server.ServeFolder("/m", home / "mirror");
    }
};

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
    return s;
}

TEST(IsHttpError, ErrorsStartAt400Except499) {
    EXPECT_FALSE(IsHttpError(200));
    EXPECT_FALSE(IsHttpError(302));
    EXPECT_FALSE(IsHttpError(399));
    EXPECT_TRUE(IsHttpError(400));
    EXPECT_FALSE(IsHttpError(499));
    EXPECT_TRUE(IsHttpError(500));
}

TEST_F(SharedSession, StatusesBelow400And499AreSuccess) {
    for (int status : {200, 300, 499}) {
        server.Reply("/s", "body " + std::to_string(status), status);
        const auto path = home / ("out" + std::to_string(status));
        EXPECT_EQ(HttpFetchToFile(server.Url("/s"), path), 0) << status;
        EXPECT_EQ(platform::ReadWholeFile(path), "body " + std::to_string(status));
    }
    EXPECT_TRUE(prompter->Texts().empty());
}

TEST_F(SharedSession, Status400And500ShowTheNumberAndFail) {
    const auto path = home / "out.bin";
    ASSERT_TRUE(platform::WriteFileAtomic(path, "old"));
    for (int status : {400, 500}) {
        server.Reply("/e", "oops", status);
        EXPECT_EQ(HttpFetchToFile(server.Url("/e"), path), -1);
    }
    EXPECT_EQ(HttpFetchToString(server.Url("/e")), "");
    const std::vector<std::string> expected = {
        "发生网络传输错误，HTTP错误代码(400)，Velmora更新失败。",
        "发生网络传输错误，HTTP错误代码(500)，Velmora更新失败。",
        "发生网络传输错误，HTTP错误代码(500)，Velmora更新失败。"};
    EXPECT_EQ(prompter->Texts(), expected);
    // The earlier file is left as it was.
    EXPECT_EQ(platform::ReadWholeFile(path), "old");
}

TEST_F(SharedSession, RedirectIsFollowed) {
    server.On("GET", "/moved", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(server.Url("/m/a.txt"), 302);
    });
    Publish("a.txt", "target");
    EXPECT_EQ(HttpFetchToString(server.Url("/moved")), "target");
}

TEST_F(SharedSession, LargeFileArrivesWholeWithCacheControl) {
    const std::string big = Pattern(300 * 1024 + 17);
    Publish("big.bin", big);
    const auto path = home / "big.bin";
    ASSERT_EQ(HttpFetchToFile(server.Url("/m/big.bin"), path), 0);
    EXPECT_EQ(platform::ReadWholeFile(path), big);
    const auto reqs = server.RequestsTo("/m/big.bin");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(reqs[0].Header("User-Agent"), "Velmora-TVRN");
}

TEST_F(SharedSession, FiveSequentialDownloadsShareOneConnection) {
    Publish("a.txt", "A");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(HttpFetchToString(server.Url("/m/a.txt")), "A");
    EXPECT_EQ(server.RequestsTo("/m/a.txt").size(), 5u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST_F(SharedSession, SameHostOtherPortNeverSharesAConnection) {
    TestServer other;
    other.Reply("/x", "other");
    server.Reply("/x", "first");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(HttpFetchToString(server.Url("/x")), "first");
        EXPECT_EQ(HttpFetchToString(other.Url("/x")), "other");
    }
    EXPECT_EQ(server.RequestsTo("/x").size(), 2u);
    EXPECT_EQ(other.RequestsTo("/x").size(), 2u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(other.ConnectionCount(), 1u);
    EXPECT_NE(GetHttpConnection("127.0.0.1", server.Port()),
              GetHttpConnection("127.0.0.1", other.Port()));
}

TEST_F(SharedSession, DroppedConnectionLeavesNoHalfFile) {
    Publish("c.bin", Pattern(20000));
    server.SetFault("/m/c.bin", Fault::DropAfter(5000));
    const auto path = home / "c.bin";
    ASSERT_TRUE(platform::WriteFileAtomic(path, "previous"));
    EXPECT_EQ(HttpFetchToFile(server.Url("/m/c.bin"), path), -1);
    EXPECT_EQ(platform::ReadWholeFile(path), "previous");
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".vmpart"));
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("网络传输发生错误"), std::string::npos);
}

TEST_F(SharedSession, CutTransferResumesWithARangeRequest) {
    const std::string file = Pattern(6000);
    Publish("r.bin", file);
    server.SetFault("/m/r.bin", Fault::DropAfter(1000).Times(1));
    std::string got;
    HttpRequest first;
    first.url = server.Url("/m/r.bin");
    first.onData = [&](const char* d, std::size_t n) {
        got.append(d, n);
        return true;
    };
    HttpResult cut = SharedSessionRequest(first);
    EXPECT_EQ(cut.outcome, HttpResult::Outcome::NetworkError);
    EXPECT_TRUE(cut.bodyCutShort);
    EXPECT_EQ(cut.head.contentLength, 6000u);
    ASSERT_EQ(got.size(), 1000u);

    HttpRequest rest = first;
    rest.headers = {"Range: bytes=1000-"};
    HttpResult resumed = SharedSessionRequest(rest);
    EXPECT_TRUE(resumed.Ok());
    EXPECT_EQ(resumed.head.status, 206);
    EXPECT_EQ(got, file);
    auto r = server.RequestsTo("/m/r.bin");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].Header("Range"), "bytes=1000-");
}

TEST_F(SharedSession, ContentLengthThatLiesIsAFailure) {
    Publish("d.bin", Pattern(1000));
    server.SetFault("/m/d.bin", Fault::WrongLength(4000));
    EXPECT_EQ(HttpFetchToString(server.Url("/m/d.bin")), "");
    EXPECT_TRUE(prompter->Texts().empty());  // only HTTP errors are shown by this call
}

TEST_F(SharedSession, UnwritableTargetIsReported) {
    Publish("a.txt", "A");
    EXPECT_EQ(HttpFetchToFile(server.Url("/m/a.txt"), home / "missing" / "dir" / "a.txt"), -1);
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("无法写入文件"), std::string::npos);
}

TEST_F(SharedSession, BodyThatKeepsFlowingOutlivesTheIdleLimit) {
    // 24 pieces, 150 ms apart: 3.6 s in all against a 1 s idle limit.
    Publish("slow.bin", Pattern(24 * 512));
    server.SetFault("/m/slow.bin", Fault::Slow(std::chrono::milliseconds(150)));
    GetSharedSession().SetTimeouts({480000, 1});
    EXPECT_EQ(HttpFetchToString(server.Url("/m/slow.bin")), Pattern(24 * 512));
}

TEST_F(SharedSession, BodyThatStallsLongerThanTheIdleLimitFails) {
    Publish("stall.bin", Pattern(512));
    server.SetFault("/m/stall.bin", Fault::Slow(std::chrono::milliseconds(2500)));
    GetSharedSession().SetTimeouts({480000, 1});
    EXPECT_EQ(HttpFetchToString(server.Url("/m/stall.bin")), "");
}

TEST_F(SharedSession, ClosedPortFailsQuietlyForStrings) {
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    EXPECT_EQ(HttpFetchToString("http://127.0.0.1:" + std::to_string(closedPort) + "/x"), "");
    EXPECT_EQ(HttpFetchToFile("http://127.0.0.1:" + std::to_string(closedPort) + "/x", home / "x"),
              -1);
    EXPECT_EQ(prompter->Texts().size(), 1u);
}

TEST(Endpoints, FileOverridesOnlyItsKeysAndDropsTrailingSlash) {
    ScopedTempDir dir;
    ASSERT_TRUE(platform::WriteFileAtomic(
        dir / "e.ini",
        "[Endpoints]\nTelecomMirror=http://127.0.0.1:8080/\nCommunityHost=127.0.0.1:9000\n"));
    const Endpoints e = LoadEndpoints(dir / "e.ini");
    EXPECT_EQ(e.telecomMirror, "http://127.0.0.1:8080");
    EXPECT_EQ(e.communityHost, "127.0.0.1:9000");
    EXPECT_EQ(e.netcomMirror, Endpoints{}.netcomMirror);
    EXPECT_NE(e.passportOrigin.find(".example"), std::string::npos);
    EXPECT_EQ(LoadEndpoints(dir / "missing.ini").statServer, Endpoints{}.statServer);

    SetEndpoints(e);
    EXPECT_EQ(PassportVerifyUrl(), Endpoints{}.passportOrigin + "/passport_verify_account.php");
    EXPECT_EQ(StatUrl(4, "u", "v"),
              Endpoints{}.statServer + "/stat.php?action=4&uid=u&verify=v&version=tvrn");
}

}  // namespace
}  // namespace vm::test
