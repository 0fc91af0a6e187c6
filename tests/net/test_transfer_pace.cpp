// The floor speed, the stop request and the words of a failed transfer, at the transfer level.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "app/ManualResetEvent.h"
#include "net/HttpTransfer.h"
#include "tests/support/TestServer.h"

namespace vm::test {
namespace {

bool HasLatinLetters(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

TEST(TransferPace, BelowTheFloorForAWholeWindowStopsInTheProgramsWords) {
    TestServer server;
    server.Reply("/t", "x");
    server.SetFault("/t", Fault::Trickle(std::chrono::milliseconds(300)));
    HttpRequest request;
    request.url = server.Url("/t");
    request.floorBytesPerSecond = 1024;
    request.floorGraceMs = 1000;
    std::size_t seen = 0;
    request.onData = [&](const char*, std::size_t n) {
        seen += n;
        return true;
    };
    CurlHandle handle = MakeCurlHandle();
    const HttpResult result = RunTransfer(handle.get(), request);
    EXPECT_FALSE(result.Ok());
    EXPECT_TRUE(result.tooSlow);
    EXPECT_EQ(result.errorText, "服务器传输过慢（1 秒内平均每秒不足 1024 字节），已停止接收。");
    EXPECT_LT(seen, 1024u);

    // A body that keeps above the floor arrives whole, however long it takes in all.
    server.Reply("/s", std::string(4 * 512, 's'));
    server.SetFault("/s", Fault::Slow(std::chrono::milliseconds(200)));
    request.url = server.Url("/s");
    request.floorBytesPerSecond = 512;
    seen = 0;
    EXPECT_TRUE(RunTransfer(handle.get(), request).Ok());
    EXPECT_EQ(seen, 4u * 512);
}

TEST(TransferPace, AStopRequestEndsATransferThatReceivesNothing) {
    TestServer server;
    server.Reply("/held", "body");
    auto gate = std::make_shared<ManualResetEvent>();
    server.SetFault("/held", Fault::Held(gate));
    HttpRequest request;
    request.url = server.Url("/held");
    request.shouldStop = [&] { return !server.RequestsTo("/held").empty(); };
    std::size_t seen = 0;
    request.onData = [&](const char*, std::size_t n) {
        seen += n;
        return true;
    };
    CurlHandle handle = MakeCurlHandle();
    const HttpResult result = RunTransfer(handle.get(), request);
    gate->Set();
    EXPECT_EQ(result.outcome, HttpResult::Outcome::Aborted);
    EXPECT_EQ(seen, 0u);
}

TEST(TransferPace, FailuresAreToldInTheProgramsWords) {
    int closedPort = 0;
    {
        TestServer gone;
        closedPort = gone.Port();
    }
    CurlHandle handle = MakeCurlHandle();
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(closedPort) + "/x";
    HttpResult result = RunTransfer(handle.get(), request);
    EXPECT_EQ(result.outcome, HttpResult::Outcome::NetworkError);
    EXPECT_EQ(result.errorText, "无法连接到服务器。");

    TestServer server;
    server.Reply("/cut", std::string(4000, 'c'));
    server.SetFault("/cut", Fault::DropAfter(100));
    request.url = server.Url("/cut");
    result = RunTransfer(handle.get(), request);
    EXPECT_TRUE(result.bodyCutShort);
    EXPECT_FALSE(result.errorText.empty());
    EXPECT_FALSE(HasLatinLetters(result.errorText)) << result.errorText;
}

}  // namespace
}  // namespace vm::test
