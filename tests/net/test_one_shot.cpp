#include <gtest/gtest.h>

#include "net/CCookieStore.h"
#include "net/Multipart.h"
#include "net/OneShot.h"
#include "tests/net/NetTestEnv.h"

namespace vm::test {
namespace {

using OneShot = NetTest;

constexpr auto kLogin = OneShotFlags::NoCacheWrite;
constexpr auto kSync = OneShotFlags::NoCacheWrite | OneShotFlags::NoAutoCookies;

TEST_F(OneShot, BodiesOfAnySizeAreReadWhole) {
    for (std::size_t n :
         {std::size_t{0}, std::size_t{8191}, std::size_t{8192}, std::size_t{100 * 1024}}) {
        std::string body(n, 'x');
        for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<char>('A' + i % 26);
        server.Reply("/b", body);
        auto got = OneShotGet(server.Url("/b"), kLogin, "");
        ASSERT_TRUE(got.has_value()) << n;
        EXPECT_EQ(*got, body) << n;
    }
}

TEST_F(OneShot, TextEndsAtItsFirstZeroByte) {
    server.Reply("/z", std::string("login success\0junk", 18));
    EXPECT_EQ(OneShotGet(server.Url("/z"), kLogin, ""), "login success");
}

TEST_F(OneShot, SendsFixedAgentAcceptAndNoCacheWithoutProxy) {
    ::setenv("http_proxy", "http://127.0.0.1:1", 1);  // would fail if it were used
    server.Reply("/h", "ok");
    EXPECT_EQ(OneShotGet(server.Url("/h"), kLogin, "k=v"), "ok");
    ::unsetenv("http_proxy");
    auto r = server.RequestsTo("/h");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].method, "GET");
    EXPECT_EQ(r[0].Header("User-Agent"), "velmora-tvrn v1.019");
    EXPECT_EQ(r[0].Header("Accept"), "*/*");
    EXPECT_EQ(r[0].Header("Cache-Control"), "no-cache");
    EXPECT_EQ(r[0].Header("Cookie"), "k=v");
}

TEST_F(OneShot, FailedConnectGivesNothing) {
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    EXPECT_FALSE(
        OneShotGet("http://127.0.0.1:" + std::to_string(closedPort) + "/", kLogin, "").has_value());
    EXPECT_TRUE(prompter->Texts().empty());  // callers report, this layer does not
}

TEST_F(OneShot, PassportMultipartArrivesByteForByte) {
    const std::string data("PK\x03\x04\0\r\n--velmoraboundary1\xff", 26);
    const std::string body = BuildPassportMultipart(kPassportBoundary, data);
    const std::string expected =
        "--velmoraboundary1\r\n"
        "Content-Disposition: form-data; name=\"data\"; filename=\"tvrnconfig.dat\"\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: binary\r\n"
        "\r\n" +
        data + "\r\n--velmoraboundary1--\r\n";
    ASSERT_EQ(body, expected);

    server.Reply("/passport_upload_files.php", "upload ok");
    SessionCookieList().Set({"a=1", "b=2"});
    auto answer = OneShotPost(PassportUploadUrl(), kSync, kPassportMultipartHeader, body,
                              BuildPassportCookieHeader(CookieSource::WithSessionList));
    EXPECT_EQ(answer, "upload ok");
    auto r = server.RequestsTo("/passport_upload_files.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].method, "POST");
    EXPECT_EQ(r[0].target, "/passport_upload_files.php?type=tvrnconfig");
    EXPECT_EQ(r[0].body, expected);
    EXPECT_EQ(r[0].Header("Content-Type"), "multipart/form-data, boundary=velmoraboundary1");
    EXPECT_EQ(r[0].Header("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(r[0].Header("Cookie"), "a=1; b=2");
}

TEST_F(OneShot, EmptyStorePlusSessionListGivesTheListJoined) {
    EXPECT_EQ(BuildPassportCookieHeader(CookieSource::WithSessionList), "");
    SessionCookieList().Set({"a=1", "b=2"});
    EXPECT_EQ(BuildPassportCookieHeader(CookieSource::WithSessionList), "a=1; b=2");
    EXPECT_EQ(BuildPassportCookieHeader(CookieSource::StoreOnly), "");
}

TEST_F(OneShot, StoreCookiesComeBeforeTheSessionList) {
    server.Reply("/set", "ok");
    server.On("GET", "/set", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "pp=7; Max-Age=3600; Path=/");
        res.set_content("ok", "text/plain");
    });
    ASSERT_TRUE(OneShotGet(server.Url("/set"), kLogin, "").has_value());
    SessionCookieList().Set({"a=1", "b=2"});
    EXPECT_EQ(BuildPassportCookieHeader(CookieSource::WithSessionList), "pp=7; a=1; b=2");
    EXPECT_EQ(BuildPassportCookieHeader(CookieSource::StoreOnly), "pp=7");
}

TEST_F(OneShot, PersistentCookiesOutliveTheProcessSessionCookiesDoNot) {
    server.On("GET", "/passport_verify_account.php",
              [](const httplib::Request& req, httplib::Response& res) {
                  if (req.get_param_value("func") == "login") {
                      res.set_header("Set-Cookie", "keep=1; Max-Age=157680000; Path=/");
                      res.set_header("Set-Cookie", "sess=2; path=/");
                  }
                  res.set_content("login success\r\nAlice", "text/plain");
              });
    auto login = OneShotRequest("GET", PassportVerifyUrl() + "?func=login", kLogin, {}, {},
                                BuildPassportCookieHeader(CookieSource::StoreOnly));
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->setCookies.size(), 2u);

    const std::string check = PassportVerifyUrl() + "?func=check";
    ASSERT_TRUE(OneShotGet(check, kLogin, BuildPassportCookieHeader(CookieSource::StoreOnly)));
    auto r = server.RequestsTo("/passport_verify_account.php");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].Header("Cookie"), "keep=1; sess=2");
    EXPECT_EQ(r[1].headers.count("Cookie"), 1u);  // one header, no cookie twice

    CCookieStore::ReloadShared();  // as the next run of the program
    ASSERT_TRUE(OneShotGet(check, kLogin, BuildPassportCookieHeader(CookieSource::StoreOnly)));
    r = server.RequestsTo("/passport_verify_account.php");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2].Header("Cookie"), "keep=1");
    EXPECT_TRUE(std::filesystem::exists(home / "data" / "Velmora" / "cookies.txt"));
}

TEST_F(OneShot, CookieSetOnTheWayThroughARedirectIsKept) {
    server.On("GET", "/hop", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "hop=1; Max-Age=600; Path=/");
        res.set_redirect(server.Url("/land"), 302);
    });
    server.Reply("/land", "landed");
    EXPECT_EQ(OneShotGet(server.Url("/hop"), kLogin, ""), "landed");
    EXPECT_EQ(CCookieStore::Shared().CookiesFor(server.Url("/")), "hop=1");
}

TEST_F(OneShot, WithoutAutomaticCookiesNothingIsStoredOrSentOnItsOwn) {
    server.On("GET", "/p", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "x=1; Max-Age=3600; Path=/");
        res.set_content("ok", "text/plain");
    });
    ASSERT_TRUE(OneShotGet(server.Url("/p"), kSync, ""));
    EXPECT_TRUE(CCookieStore::Shared().All().empty());

    ASSERT_TRUE(OneShotGet(server.Url("/p"), kLogin, ""));  // now stored
    ASSERT_TRUE(OneShotGet(server.Url("/p"), kSync, ""));   // but not sent by itself
    auto r = server.RequestsTo("/p");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_FALSE(r[2].HasHeader("Cookie"));
}

TEST_F(OneShot, ExpiredCookieIsRemovedAndForeignDomainRefused) {
    server.On("GET", "/c", [](const httplib::Request& req, httplib::Response& res) {
        if (req.has_param("drop"))
            res.set_header("Set-Cookie", "x=; Expires=Thu, 01 Jan 1970 00:00:00 GMT; Path=/");
        else {
            res.set_header("Set-Cookie", "x=1; Max-Age=3600; Path=/");
            res.set_header("Set-Cookie", "evil=1; Domain=other.example; Path=/");
        }
        res.set_content("ok", "text/plain");
    });
    ASSERT_TRUE(OneShotGet(server.Url("/c"), kLogin, ""));
    EXPECT_EQ(CCookieStore::Shared().CookiesFor(server.Url("/")), "x=1");
    ASSERT_TRUE(OneShotGet(server.Url("/c?drop=1"), kLogin, ""));
    EXPECT_EQ(CCookieStore::Shared().CookiesFor(server.Url("/")), "");
}

TEST_F(OneShot, FireAndForgetSendsStoreCookiesButNotTheSessionList) {
    server.Reply("/stat.php", "ignored");
    SessionCookieList().Set({"s=1"});
    PassportFireAndForget(server.Url("/stat.php?action=4"));
    auto r = server.RequestsTo("/stat.php");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_FALSE(r[0].HasHeader("Cookie"));
}

TEST(UrlEncodeUtf8, LettersDigitsKeptSpacePlusRestPercent) {
    EXPECT_EQ(UrlEncodeUtf8("a b/é"), "a+b%2F%C3%A9");
    EXPECT_EQ(UrlEncodeUtf8("x @z"), "x+%40z");
    EXPECT_EQ(UrlEncodeUtf8("p&w\t1-_."), "p%26w+1%2D%5F%2E");
}

}  // namespace
}  // namespace vm::test
