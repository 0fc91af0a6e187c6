// The fakes refuse what the real services refuse: a client that sends the wrong verb, field or
// multipart part fails its test instead of passing against a lenient stand-in.
#include <gtest/gtest.h>

#include <string>

#include "net/HttpTransfer.h"
#include "net/Passport.h"
#include "net/Statistics.h"
#include "net/endpoints.h"
#include "tests/net/CommunityTestEnv.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/DataServerFake.h"
#include "tools/devservices/PassportFake.h"

namespace vm::test {

using dev::DataServerFake;
using dev::PassportFake;

namespace {

struct Answer {
    int status = 0;
    std::string body;
};

Answer Send(const std::string& method, const std::string& url, const std::string& body = {},
            const std::string& contentType = {}) {
    HttpRequest request;
    request.method = method;
    request.url = url;
    request.body = body;
    if (!contentType.empty()) request.headers.push_back("Content-Type: " + contentType);
    Answer answer;
    request.onData = [&answer](const char* d, std::size_t n) {
        answer.body.append(d, n);
        return true;
    };
    CurlHandle handle = MakeCurlHandle();
    HttpResult result = RunTransfer(handle.get(), request);
    answer.status = result.head.status;
    return answer;
}

std::string Multipart(const std::string& boundary, const std::string& part, const std::string& file,
                      const std::string& bytes) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + part +
           "\"; filename=\"" + file +
           "\"\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: "
           "binary\r\n\r\n" +
           bytes + "\r\n--" + boundary + "--\r\n";
}

bool Succeeded(const std::string& xml) {
    return xml.find("success=\"1\"") != std::string::npos;
}

class StrictCommunity : public CommunityTest {
  protected:
    std::string Cookie() {
        return "Cookie: " + CCookieStore::Shared().CookiesFor(server.Url("/client/"));
    }
    Answer Member(const std::string& method, const std::string& query, const std::string& body,
                  const std::string& type = "application/x-www-form-urlencoded") {
        HttpRequest request;
        request.method = method;
        request.url = server.Url("/client/index.php?" + query);
        request.body = body;
        request.headers = {"Content-Type: " + type, Cookie()};
        Answer answer;
        request.onData = [&answer](const char* d, std::size_t n) {
            answer.body.append(d, n);
            return true;
        };
        CurlHandle handle = MakeCurlHandle();
        answer.status = RunTransfer(handle.get(), request).head.status;
        return answer;
    }
};

TEST_F(StrictCommunity, RefusesTheWrongVerbAFieldOfAnotherNameAndQueryForABody) {
    // The login is a POST: the same fields in a GET's query are refused.
    Answer a = Send("GET", server.Url("/client/public.php?a=login&username=alice&password=secret1"
                                      "&expires=86400"));
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    EXPECT_NE(a.body.find("info=\"20:"), std::string::npos) << a.body;

    LoginAlice();
    // "message" is not the add-friend field "msg".
    a = Member("POST", "m=friend&a=add", "uid=2&message=hi");
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    // A POST's parameters belong in its body, not in its query.
    a = Member("POST", "m=SMS&a=send&uid=2&content=hi", "");
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    // "text" is not the message field "content"; "question"/"answer" are not optional.
    a = Member("POST", "m=SMS&a=send", "uid=2&text=hi");
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    a = Send("POST", server.Url("/client/public.php?a=createUser"),
             "username=carol&email=c@example.org&password=secret9&vcode=1234",
             "application/x-www-form-urlencoded");
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    EXPECT_EQ(fake.Refused().size(), 5u);

    // What the client sends is taken.
    a = Member("POST", "m=SMS&a=send", "uid=2&content=hi");
    EXPECT_TRUE(Succeeded(a.body)) << a.body;
    EXPECT_EQ(fake.GetUser(2)->messages, 1);
}

TEST_F(StrictCommunity, UploadsMustCarryThePartTheServiceReads) {
    LoginAlice();
    const std::string type = "multipart/form-data, boundary=VelmoraBoundary";
    Answer a = Member("POST", "m=settings&a=upload",
                      Multipart("VelmoraBoundary", "file", "config", "zip"), type);
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    a = Member("POST", "m=settings&a=upload", Multipart("VelmoraBoundary", "data", "armory", "zip"),
               type);
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    a = Member("POST", "m=character&a=upload",
               Multipart("VelmoraBoundary", "data", "armory", "zip"),
               "multipart/form-data; boundary=other");
    EXPECT_FALSE(Succeeded(a.body)) << a.body;
    EXPECT_EQ(fake.GetUser(1)->settings, "");
    EXPECT_EQ(fake.LastArmory(), "");

    a = Member("POST", "m=settings&a=upload", Multipart("VelmoraBoundary", "data", "config", "zip"),
               type);
    EXPECT_TRUE(Succeeded(a.body)) << a.body;
    EXPECT_EQ(fake.GetUser(1)->settings, "zip");
}

TEST_F(PassportTest, PassportFakeRefusesAnotherTypeAndAnotherPart) {
    PassportFake passport(server);
    passport.AddUser({"alice", "pw", "Alice", "stored"});
    ASSERT_TRUE(PassportLogin("alice", "pw", kRememberCookieSeconds));
    const std::string cookie = BuildPassportCookieHeader(CookieSource::StoreOnly);
    auto send = [&](const std::string& method, const std::string& path, const std::string& body,
                    const std::string& type) {
        HttpRequest request;
        request.method = method;
        request.url = server.Url(path);
        request.body = body;
        request.headers = {"Cookie: " + cookie};
        if (!type.empty()) request.headers.push_back("Content-Type: " + type);
        Answer answer;
        request.onData = [&answer](const char* d, std::size_t n) {
            answer.body.append(d, n);
            return true;
        };
        CurlHandle handle = MakeCurlHandle();
        answer.status = RunTransfer(handle.get(), request).head.status;
        return answer;
    };
    const std::string type = "multipart/form-data, boundary=velmoraboundary1";
    const std::string good = Multipart("velmoraboundary1", "data", "tvrnconfig.dat", "new");

    EXPECT_EQ(send("GET", "/passport_download_files.php", "", "").status, 400);
    EXPECT_EQ(send("GET", "/passport_download_files.php?type=wowconfig", "", "").status, 400);
    EXPECT_EQ(send("POST", "/passport_upload_files.php", good, type).status, 400);
    Answer a = send("POST", "/passport_upload_files.php?type=tvrnconfig",
                    Multipart("velmoraboundary1", "file", "tvrnconfig.dat", "new"), type);
    EXPECT_EQ(a.body.rfind("error", 0), 0u) << a.body;
    EXPECT_EQ(passport.GetUser("alice")->archive, "stored");
    EXPECT_EQ(passport.Refused().size(), 4u);

    a = send("POST", "/passport_upload_files.php?type=tvrnconfig", good, type);
    EXPECT_EQ(a.body, "success");
    EXPECT_EQ(passport.GetUser("alice")->archive, "new");
}

TEST_F(PassportTest, DataServerTakesOnlyTheUploadOfItsOwnProbe) {
    DataServerFake data(services);
    data.SetProbeAnswer("42:abc");
    const std::string type = "multipart/form-data, boundary=velmoraboundary1";
    auto field = [](const std::string& name, const std::string& value) {
        return "--velmoraboundary1\r\nContent-Disposition: form-data; name=\"" + name +
               "\"\r\n\r\n" + value + "\r\n";
    };
    auto form = [&](const std::string& id) {
        return field("cache", "0") + field("module", "velmora_tvrn_data_receiver") +
               field("qelid", id) + field("checksum", "c") + field("rup", "0,1,0") +
               "--velmoraboundary1\r\nContent-Disposition: form-data; name=\"data\"; "
               "filename=\"datafile.gz\"\r\nContent-Type: application/octet-stream\r\n"
               "Content-Transfer-Encoding: binary\r\n\r\nD\r\n--velmoraboundary1--\r\n";
    };
    const std::string upload = services.Url("/main.php");
    // No probe yet: nothing is taken.
    EXPECT_EQ(Send("POST", upload, form("42"), type).status, 400);
    // A probe without its fixed query is no probe.
    EXPECT_EQ(Send("GET", services.Url("/main.php?ping=ping")).status, 400);
    ASSERT_EQ(Send("GET", services.Url("/main.php?cache=0&module=velmora_tvrn_data_receiver"
                                       "&ping=ping"))
                  .body,
              "42:abc");
    EXPECT_EQ(Send("POST", upload, form("41"), type).status, 400);  // another id
    EXPECT_EQ(Send("POST", upload, form("42"), "multipart/form-data; boundary=x").status, 400);
    EXPECT_TRUE(data.Uploads().empty());
    EXPECT_EQ(data.Refused().size(), 4u);

    EXPECT_EQ(Send("POST", upload, form("42"), type).status, 200);
    ASSERT_EQ(data.Uploads().size(), 1u);
    EXPECT_EQ(Send("POST", upload, form("42"), type).status, 400) << "an id is good once";
}

// The statistics ping carries the passport's cookies, so a cookie must be there to see it.
TEST_F(PassportTest, StatisticsPingCarriesThePassportCookieOfTheStore) {
    PassportFake passport(server);
    passport.AddUser({"alice", "pw", "Alice", ""});
    ASSERT_TRUE(PassportLogin("alice", "pw", kRememberCookieSeconds));
    services.Reply("/stat.php", "ok");
    ASSERT_FALSE(BuildPassportCookieHeader(CookieSource::StoreOnly).empty());
    PassportFireAndForget(StatUrl(4, "u", "v"));
    const auto pings = services.RequestsTo("/stat.php");
    EXPECT_TRUE(server.RequestsTo("/stat.php").empty());
    ASSERT_EQ(pings.size(), 1u);
    EXPECT_NE(pings[0].Header("Cookie").find(std::string(PassportFake::kSessionCookie) + "="),
              std::string::npos)
        << pings[0].Header("Cookie");
}

}  // namespace
}  // namespace vm::test
