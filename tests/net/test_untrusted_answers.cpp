#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "app/GameFolder.h"
#include "app/messages.h"
#include "net/CCheckAccountThread.h"
#include "net/CCookieStore.h"
#include "net/Passport.h"
#include "net/SettingsSync.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/PassportFake.h"

namespace fs = std::filesystem;

namespace vm::test {

using dev::PassportFake;

namespace {

unsigned ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xffff;
}

class UntrustedAnswers : public PassportTest {
  protected:
    // The account check against an answer of the given status and body.
    void CheckAgainst(int status, const std::string& body) {
        server.On("GET", "/passport_verify_account.php",
                  [status, body](const httplib::Request&, httplib::Response& r) {
                      r.status = status;
                      r.set_content(body, "text/plain");
                  });
        Run(std::make_unique<CCheckAccountThread>());
    }
};

TEST_F(UntrustedAnswers, AccountCheckTakesOnlyAPlausibleNameFromARealAnswer) {
    std::vector<int> stats;
    theApp().SetStatisticStarter([&stats](int action) { stats.push_back(action); });
    const std::vector<std::pair<int, std::string>> refused = {
        {500, "Alice"},          {404, "<html><body>Not Found</body></html>"},
        {200, "<b>Alice</b>"},   {200, "Al\x1b]0;pwned\x07ice"},
        {200, "line\r\nbreak"},  {200, std::string(kMaxAccountNameBytes + 1, 'a')},
        {200, "bad \xff utf-8"},
    };
    for (const auto& [status, body] : refused) {
        PassportAccountText().Set("kept");
        window->Clear();
        CheckAgainst(status, body);
        EXPECT_EQ(PassportAccountText().Get(), "kept") << status << " " << body;
        EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_ACCOUNT_CHANGED});
    }
    EXPECT_TRUE(stats.empty()) << "action 5 only for a real account";

    CheckAgainst(200, "爱丽丝 Alice_1");
    EXPECT_EQ(PassportAccountText().Get(), "爱丽丝 Alice_1");
    EXPECT_EQ(stats, std::vector<int>{5});
    theApp().SetStatisticStarter(nullptr);
}

TEST_F(UntrustedAnswers, DownloadTicketStaysOnThePassportOrigin) {
    const std::string origin = PassportOrigin();
    EXPECT_EQ(ParseDownloadTicket("success\n/files/u1/cfg.zip").url, origin + "/files/u1/cfg.zip");
    EXPECT_EQ(ParseDownloadTicket("success\r\n/f?id=3\r\n").url, origin + "/f?id=3");
    for (const char* line : {"@evil.example/x", ":8081/x", ".evil.example/x", "/x\\y", "x/y",
                             "/a\x1b[2Jb", "@127.0.0.1:1/x"}) {
        const DownloadTicket t = ParseDownloadTicket(std::string("success\n") + line);
        EXPECT_FALSE(t.url) << line << " -> " << t.url.value_or("");
        EXPECT_EQ(t.error.rfind("服务器给出的下载地址无效：", 0), 0u) << t.error;
        EXPECT_EQ(t.error.find('\x1b'), std::string::npos);
    }
}

TEST(ServerTexts, ControlCharactersAreRemovedBeforePrinting) {
    EXPECT_EQ(platform::WithoutControlCharacters("a\x1b[31mred\x07\r\n\tb\x7f"), "a[31mred\n\tb");
    EXPECT_EQ(platform::WithoutControlCharacters("登录\xc2\x9b"
                                                 "2J成功\xc2\xa0"),
              "登录2J成功\xc2\xa0");
}

// Secrets on disk: the data folder 0700, the cookie jar 0600, whatever the umask.
TEST_F(UntrustedAnswers, RememberedCookiesArePrivateOnDisk) {
    PassportFake passport(server);
    passport.AddUser({"alice", "pw", "Alice", ""});
    const mode_t old = ::umask(0);
    const bool ok = PassportLogin("alice", "pw", kRememberCookieSeconds);
    ::umask(old);
    ASSERT_TRUE(ok);
    const fs::path jar = CCookieStore::DefaultJarPath();
    ASSERT_TRUE(fs::exists(jar));
    EXPECT_EQ(ModeOf(jar), 0600u);
    EXPECT_EQ(ModeOf(jar.parent_path()), 0700u);

    // The server was asked for five years, and the stored cookie lives that long (a one-day
    // cookie would not pass).
    EXPECT_EQ(passport.LastCookieSeconds(), kRememberCookieSeconds);
    bool found = false;
    for (const CCookieStore::Cookie& c : CCookieStore::Shared().All()) {
        if (c.name != PassportFake::kSessionCookie) continue;
        found = true;
        EXPECT_GT(c.expires, std::time(nullptr) + 4LL * 365 * 24 * 3600);
    }
    EXPECT_TRUE(found);

    // A jar an earlier version left readable by others is narrowed on first use.
    ASSERT_EQ(::chmod(jar.c_str(), 0644), 0);
    CCookieStore::ReloadShared();
    EXPECT_EQ(ModeOf(jar), 0600u);
}

// A `CustomPath` without any '/' (a Windows path from another machine) names no folder of
// ours: the restore never replaces "./Account" in the working directory.
TEST_F(UntrustedAnswers, AccountFolderFromAWindowsCustomPathIsRefused) {
    platform::IniFile ini(home / "prog" / "Velmora.ini");
    ini.WriteInt("Path", "PathType", 1);
    ini.WriteString("Path", "CustomPath", "C:\\Games\\Tovrin\\Tovrin.exe");
    EXPECT_TRUE(GameAccountFolder().empty());
    EXPECT_TRUE(AccountFolder().empty());

    const fs::path work = home / "cwd";
    fs::create_directories(work / "Account");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "Account/keep.ini", "mine"));
    const fs::path before = fs::current_path();
    fs::current_path(work);
    const bool restored = RestoreAccountFolder(std::nullopt, home / "none.zip");
    const bool packed = PackAccountFolder(std::nullopt, home / "out.zip");
    fs::current_path(before);
    EXPECT_FALSE(restored);
    EXPECT_FALSE(packed);
    EXPECT_EQ(platform::ReadWholeFile(work / "Account/keep.ini"), "mine");
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_NE(prompter->Texts()[0].find("游戏路径设置无效"), std::string::npos);

    // A real path: beside the executable it names, as the game folder is.
    ini.WriteString("Path", "CustomPath", (home / "game/Tovrin.exe").string());
    EXPECT_EQ(GameAccountFolder(), home / "game/Account");
}

TEST(CookieStore, AHugeMaxAgeKeepsTheCookieWithoutOverflowing) {
    CCookieStore store{fs::path()};
    store.SetFromResponse(
        "https://a.example/x/y",
        {"id=1; Secure; Max-Age=65555555555555555555555555555550", "short=2; Max-Age=60"});
    EXPECT_EQ(store.CookiesFor("https://a.example/x/y"), "id=1; short=2");
    for (const auto& c : store.All()) {
        if (c.name == "id") {
            EXPECT_EQ(c.expires, std::numeric_limits<std::int64_t>::max());
        }
    }
}

}  // namespace
}  // namespace vm::test
