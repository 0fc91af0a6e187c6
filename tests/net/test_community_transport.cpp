#include <gtest/gtest.h>

#include "net/CCommunityTransport.h"
#include "net/CConnectionException.h"
#include "net/Multipart.h"
#include "platform/FileUtil.h"
#include "tests/net/NetTestEnv.h"

namespace vm::test {
namespace {

using Verb = CCommunityTransport::Verb;

// Records the progress calls of one transfer.
class Progress : public ITransferProgress {
  public:
    void OnStart() override { calls.push_back("start"); }
    void OnProgress(long long percent) override { percents.push_back(percent); }
    void OnComplete() override { calls.push_back("complete"); }
    void OnError(int code) override { calls.push_back("error " + std::to_string(code)); }
    void OnCancelled() override { calls.push_back("cancelled"); }
    bool IsCancelled() override {
        return cancelAfter >= 0 && static_cast<long long>(percents.size()) > cancelAfter;
    }

    std::vector<std::string> calls;
    std::vector<long long> percents;
    long long cancelAfter = -1;
};

class Community : public NetTest {
  protected:
    CCommunityTransport transport{server.HostPort()};
};

TEST_F(Community, PostParametersArriveFormEncodedAsSingleValues) {
    server.Reply("/client/public.php", "<?xml version=\"1.0\"?><result success=\"1\"/>");
    const std::string answer =
        transport.Request("/client/public.php?a=login",
                          {{"username", "a&admin=1"}, {"password", "p w=ä"}}, Verb::Post);
    EXPECT_EQ(answer, "<?xml version=\"1.0\"?><result success=\"1\"/>");
    auto r = server.RequestsTo("/client/public.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].target, "/client/public.php?a=login");
    EXPECT_EQ(r[0].body, "&username=a%26admin%3D1&password=p+w%3D%C3%A4");
    EXPECT_NE(r[0].Header("Content-Type").find("application/x-www-form-urlencoded"),
              std::string::npos);
    EXPECT_EQ(r[0].Header("Cache-Control"), "no-cache");
}

TEST_F(Community, GetParametersFollowThePath) {
    server.Reply("/client/public.php", "<?xml?><result/>");
    transport.Request("/client/public.php?a=getUserInfo", {{"uid", "42"}, {"q", "a&b"}}, Verb::Get);
    auto r = server.RequestsTo("/client/public.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].target, "/client/public.php?a=getUserInfo&uid=42&q=a%26b");
    EXPECT_EQ(r[0].Param("q"), "a&b");
    EXPECT_EQ(r[0].body, "");
}

TEST_F(Community, AnswerStartsAtTheXmlDeclaration) {
    server.Reply("/a", "\xEF\xBB\xBFnoise<?xml version=\"1.0\"?><result/>");
    EXPECT_EQ(transport.Request("/a?", {}, Verb::Get), "<?xml version=\"1.0\"?><result/>");
    server.Reply("/b", "<result success=\"1\"/>");
    EXPECT_EQ(transport.Request("/b?", {}, Verb::Get), "<result success=\"1\"/>");
    server.Reply("/c", "<?xml?><result/>", 500);
    EXPECT_EQ(transport.Request("/c?", {}, Verb::Get), "");
}

TEST_F(Community, NotLoggedInTriggersOneReloginAndOneRepeat) {
    server.Reply("/client/index.php", "<?xml?>21");
    int relogins = 0;
    transport.SetReloginHook(
        {[](const std::string& a) { return a == "<?xml?>21" ? 21 : 0; }, [&] { ++relogins; }});
    EXPECT_EQ(transport.Request("/client/index.php?m=friend&a=getList", {}, Verb::Get),
              "<?xml?>21");
    EXPECT_EQ(relogins, 1);
    EXPECT_EQ(server.RequestsTo("/client/index.php").size(), 2u);

    server.Reply("/client/public.php", "<?xml?>21");
    transport.Request("/client/public.php?a=login", {}, Verb::Post);
    EXPECT_EQ(relogins, 1);  // the login itself is never retried
    EXPECT_EQ(server.RequestsTo("/client/public.php").size(), 1u);
}

TEST_F(Community, ClosedPortRaisesTheConnectionException) {
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    transport.SetHost("127.0.0.1:" + std::to_string(closedPort));
    try {
        transport.Request("/client/public.php?a=login", {{"username", "u"}}, Verb::Post);
        FAIL() << "no exception";
    } catch (const CConnectionException& e) {
        EXPECT_EQ(e.GetCode(), -2);
        EXPECT_STREQ(e.what(), "连接服务器错误。");
    }
    EXPECT_EQ(transport.GetLastError(), -2);
    EXPECT_THROW(transport.FetchRaw("http://127.0.0.1:" + std::to_string(closedPort) + "/v"),
                 CConnectionException);
    // The lock was released on the way out.
    EXPECT_TRUE(transport.RequestLock().try_lock());
    transport.RequestLock().unlock();
}

TEST_F(Community, RawFetchFillsTheBufferAndRefusesMore) {
    const std::string image(99999, '\x89');
    server.Reply("/img", image, 200, "image/png");
    auto raw = transport.FetchRaw(server.Url("/img"));
    ASSERT_NE(raw.data, nullptr);
    EXPECT_EQ(std::string(raw.data, raw.size), image);

    server.Reply("/exact", std::string(CCommunityTransport::kRawBufferSize, 'e'));
    raw = transport.FetchRaw(server.Url("/exact"));
    EXPECT_EQ(raw.size, CCommunityTransport::kRawBufferSize);

    server.Reply("/huge", std::string(150000, 'h'));
    raw = transport.FetchRaw(server.Url("/huge"));
    EXPECT_EQ(raw.data, nullptr);
    EXPECT_EQ(raw.size, 0u);

    server.Reply("/missing", "no", 404);
    EXPECT_EQ(transport.FetchRaw(server.Url("/missing")).data, nullptr);
}

TEST_F(Community, RedirectIsReportedNotFollowedForAvatars) {
    server.On("GET", "/avatar.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://img.example/a.png", 302);
    });
    auto head = transport.GetHeadWithoutRedirect(server.Url("/avatar.php?uid=1"));
    EXPECT_EQ(head.status, 302);
    EXPECT_EQ(head.Header("Location"), "http://img.example/a.png");
}

TEST_F(Community, MultipartUploadArrivesByteForByteWithProgress) {
    const std::string file(3000, 'q');
    ASSERT_TRUE(platform::WriteFileAtomic(home / "config.dat", file));
    server.Reply("/client/index.php", "junk<?xml?><result success=\"1\"/>");
    Progress progress;
    std::string answer;
    ASSERT_TRUE(transport.UploadMultipart("/client/index.php?m=settings&a=upload", "config",
                                          home / "config.dat", &progress, &answer));
    EXPECT_EQ(answer, "<?xml?><result success=\"1\"/>");
    const std::string expected =
        "--VelmoraBoundary\r\n"
        "Content-Disposition: form-data; name=\"data\"; filename=\"config\"\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\n" +
        file + "\r\n--VelmoraBoundary--\r\n";
    auto r = server.RequestsTo("/client/index.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].body, expected);
    EXPECT_EQ(r[0].Header("Content-Type"), "multipart/form-data, boundary=VelmoraBoundary");
    EXPECT_EQ(r[0].Header("Accept"), "*/*");
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"start", "complete"}));
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_EQ(progress.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.percents.begin(), progress.percents.end()));
    EXPECT_EQ(BuildCommunityMultipart("armory", "x"),
              "--VelmoraBoundary\r\n"
              "Content-Disposition: form-data; name=\"data\"; filename=\"armory\"\r\n"
              "Content-Type: application/octet-stream\r\n"
              "Content-Transfer-Encoding: binary\r\n\r\n"
              "x\r\n--VelmoraBoundary--\r\n");
}

TEST_F(Community, UploadFailuresReachTheProgressObject) {
    Progress missing;
    EXPECT_FALSE(transport.UploadMultipart("/u?", "config", home / "none", &missing));
    EXPECT_EQ(missing.calls, (std::vector<std::string>{"error 3"}));

    ASSERT_TRUE(platform::WriteFileAtomic(home / "empty", ""));
    server.Reply("/u", "refused", 500);
    Progress refused;
    EXPECT_FALSE(transport.UploadMultipart("/u?", "config", home / "empty", &refused));
    EXPECT_EQ(refused.calls, (std::vector<std::string>{"start", "error 2"}));

    ASSERT_TRUE(platform::WriteFileAtomic(home / "big", std::string(20000, 'b')));
    server.Reply("/u", "ok");
    Progress cancel;
    cancel.cancelAfter = 3;
    EXPECT_FALSE(transport.UploadMultipart("/u?", "config", home / "big", &cancel));
    EXPECT_EQ(cancel.calls, (std::vector<std::string>{"start", "cancelled"}));
}

TEST_F(Community, DownloadWritesTheFileOnlyWhenComplete) {
    const std::string content(5000, 'd');
    server.Reply("/client/f.dat", content);
    Progress ok;
    ASSERT_TRUE(transport.DownloadToFile("/client/f.dat", home / "f.dat", &ok));
    EXPECT_EQ(platform::ReadWholeFile(home / "f.dat"), content);
    EXPECT_EQ(ok.calls, (std::vector<std::string>{"start", "complete"}));
    EXPECT_EQ(ok.percents.back(), 100);

    Progress notFound;
    EXPECT_FALSE(transport.DownloadToFile("/client/none", home / "n.dat", &notFound));
    EXPECT_EQ(notFound.calls, (std::vector<std::string>{"error 2"}));
    EXPECT_FALSE(std::filesystem::exists(home / "n.dat"));

    server.SetFault("/client/f.dat", Fault::DropAfter(1000));
    Progress dropped;
    EXPECT_FALSE(transport.DownloadToFile("/client/f.dat", home / "g.dat", &dropped));
    EXPECT_EQ(dropped.calls, (std::vector<std::string>{"start", "error 4"}));
    EXPECT_FALSE(std::filesystem::exists(home / "g.dat"));
    EXPECT_FALSE(std::filesystem::exists(home / "g.dat.vmpart"));
}

TEST_F(Community, CookiesOfTheServerAreSentBack) {
    server.On("POST", "/client/public.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "PHPSESSID=abc; path=/");
        res.set_content("<?xml?><result success=\"1\"/>", "text/xml");
    });
    server.Reply("/client/index.php", "<?xml?><result success=\"1\"/>");
    transport.Request("/client/public.php?a=login", {}, Verb::Post);
    transport.Request("/client/index.php?m=SMS&a=check", {}, Verb::Get);
    auto r = server.RequestsTo("/client/index.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].Header("Cookie"), "PHPSESSID=abc");
}

}  // namespace
}  // namespace vm::test
