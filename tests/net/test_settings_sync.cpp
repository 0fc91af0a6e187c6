#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/messages.h"
#include "archive/ZipArchive.h"
#include "net/CDownloadConfigThread.h"
#include "net/CUploadConfigThread.h"
#include "net/SettingsSync.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/PassportFake.h"

namespace vm::test {

using dev::PassportFake;

namespace {

namespace fs = std::filesystem;

constexpr char kDownload[] = "/passport_download_files.php";
constexpr char kUpload[] = "/passport_upload_files.php";

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

// Every file below folder with its content, relative names in '/' form.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = fs::relative(e.path(), folder).generic_string();
        out[rel] = e.is_directory() ? "<dir>" : *platform::ReadWholeFile(e.path());
    }
    return out;
}

class SettingsSync : public PassportTest {
  protected:
    void SetUp() override {
        PassportTest::SetUp();
        ::setenv("TMPDIR", (home / "tmp").c_str(), 1);
        fs::create_directories(home / "tmp");
        platform::IniFile(theApp().ProfilePath())
            .WriteString("Path", "CustomPath", (home / "game" / "Tovrin.exe").string());
    }
    void TearDown() override {
        PassportTest::TearDown();
        ::unsetenv("TMPDIR");
    }
    fs::path Account() const { return home / "game" / "Account"; }

    std::optional<std::string> Reason(std::uint32_t msg) {
        auto posted = window->Of(msg);
        if (posted.size() != 1) return "(" + std::to_string(posted.size()) + " messages)";
        if (auto* text = std::get_if<std::string>(&posted[0].payload)) return *text;
        return std::get<std::optional<std::string>>(posted[0].payload);
    }
};

TEST_F(SettingsSync, PackingKeepsTheGamesSettingFiles) {
    Write(Account() / "a.ela", "A");
    Write(Account() / "b.txt", "B");
    Write(Account() / "alice" / "x.DAT", "X");
    Write(Account() / "alice" / "y.ini", "Y");
    Write(Account() / "alice" / "z.lua", "Z");
    Write(Account() / "alice" / "deep" / "w.dat", "W");
    fs::create_symlink("/etc/hostname", Account() / "alice" / "link.ini");

    const fs::path archive = home / "out.zip";
    ASSERT_TRUE(PackAccountFolder(std::nullopt, archive));
    const std::string bytes = *platform::ReadWholeFile(archive);
    EXPECT_EQ(*ListZipEntries(bytes),
              (std::vector<std::string>{"alice/", "alice/deep/", "alice/deep/w.dat", "alice/x.DAT",
                                        "alice/y.ini", "b.txt"}));
    EXPECT_EQ(*ReadZipEntry(bytes, "alice/x.DAT"), "X");

    // One account: only its own "*ela" files at the top.
    ASSERT_TRUE(PackAccountFolder("alice", archive));
    EXPECT_EQ(*ListZipEntries(*platform::ReadWholeFile(archive)),
              (std::vector<std::string>{"deep/", "deep/w.dat"}));
}

TEST_F(SettingsSync, NothingToPackReportsNoSettings) {
    Run(std::make_unique<CUploadConfigThread>());
    EXPECT_EQ(Reason(WM_VM_CONFIG_UPLOAD_FAILED), "没找到配置文件");
    fs::create_directories(Account());
    window->Clear();
    Run(std::make_unique<CUploadConfigThread>());
    EXPECT_EQ(Reason(WM_VM_CONFIG_UPLOAD_FAILED), "没找到配置文件");
    EXPECT_TRUE(server.RequestsTo(kUpload).empty());
}

TEST_F(SettingsSync, UploadSendsTheArchiveWithTheSessionCookies) {
    server.On("GET", "/passport_verify_account.php",
              [](const httplib::Request&, httplib::Response& res) {
                  res.set_header("Set-Cookie", "a=1; path=/");
                  res.set_header("Set-Cookie", "b=2; expires=Wed, 01 Jan 2031 00:00:00 GMT");
                  res.set_content("login success\r\n\r\nAlice", "text/plain");
              });
    ASSERT_TRUE(PassportLogin("alice", "pw", 0));
    window->Clear();
    Write(Account() / "b.txt", "B");
    server.Reply(kUpload, "success");
    Run(std::make_unique<CUploadConfigThread>());
    EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_UPLOAD_DONE});

    auto reqs = server.RequestsTo(kUpload);
    ASSERT_EQ(reqs.size(), 1u);
    const std::string cookie = reqs[0].Header("Cookie");
    EXPECT_TRUE(cookie.ends_with("a=1")) << cookie;
    EXPECT_EQ(reqs[0].Header("Content-Type"), "multipart/form-data, boundary=velmoraboundary1");
    auto file = PassportFake::MultipartFile(reqs[0].body);
    ASSERT_TRUE(file);
    EXPECT_EQ(*ReadZipEntry(*file, "b.txt"), "B");

    for (auto [answer, reason] : std::vector<std::pair<std::string, std::string>>{
             {"error:登录超时", "登录超时"}, {"oops", "未知错误：oops"}, {"error", ""}}) {
        server.Reply(kUpload, answer);
        window->Clear();
        Run(std::make_unique<CUploadConfigThread>());
        EXPECT_EQ(Reason(WM_VM_CONFIG_UPLOAD_FAILED), reason) << answer;
    }
}

TEST_F(SettingsSync, TicketNamesTheArchiveOrTheReason) {
    Write(Account() / "old.txt", "old");
    for (auto [answer, reason] : std::vector<std::pair<std::string, std::string>>{
             {"error:登录超时\n", "登录超时"}, {"oops\nx", "未知错误：oops"}, {"", "未知错误"}}) {
        server.Reply(kDownload, answer);
        window->Clear();
        Run(std::make_unique<CDownloadConfigThread>());
        EXPECT_EQ(Reason(WM_VM_CONFIG_DOWNLOAD_FAILED), reason) << answer;
    }
    server.SetFault(kDownload, Fault::DropAfter(0));
    window->Clear();
    Run(std::make_unique<CDownloadConfigThread>());
    EXPECT_NE(Reason(WM_VM_CONFIG_DOWNLOAD_FAILED).value_or(""), "");
    server.ClearFault(kDownload);

    server.Reply(kDownload, "success\n/files/u1/cfg.zip\n");
    server.Reply("/files/u1/cfg.zip", *MakeZip({{"alice/y.ini", "new"}}));
    window->Clear();
    Run(std::make_unique<CDownloadConfigThread>());
    EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_DOWNLOAD_DONE});
    EXPECT_EQ(server.RequestsTo("/files/u1/cfg.zip").size(), 1u);
    EXPECT_EQ(Tree(Account()),
              (std::map<std::string, std::string>{{"alice", "<dir>"}, {"alice/y.ini", "new"}}));
}

TEST_F(SettingsSync, RestoreReplacesAReadOnlyFolder) {
    Write(Account() / "alice" / "old.ini", "old");
    ::chmod((Account() / "alice" / "old.ini").c_str(), 0444);
    ::chmod((Account() / "alice").c_str(), 0555);
    ::chmod(Account().c_str(), 0555);
    const fs::path archive = home / "in.zip";
    Write(archive, *MakeZip({{"bob/x.dat", "X"}}));
    EXPECT_TRUE(RestoreAccountFolder(std::nullopt, archive));
    EXPECT_EQ(Tree(Account()),
              (std::map<std::string, std::string>{{"bob", "<dir>"}, {"bob/x.dat", "X"}}));
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(home / "game"), fs::directory_iterator()), 1);
}

TEST_F(SettingsSync, FailedRestoreKeepsTheOldFolder) {
    Write(Account() / "alice" / "keep.ini", "keep");
    const auto before = Tree(Account());
    const std::string good = *MakeZip({{"a.ini", std::string(5000, 'a')}, {"b.ini", "b"}});
    const fs::path archive = home / "in.zip";

    for (const std::string& bad : {std::string("not a zip"), good.substr(0, good.size() / 2),
                                   *MakeZip({{"ok.ini", "1"}, {"../evil.ini", "2"}})}) {
        Write(archive, bad);
        prompter->Clear();
        EXPECT_FALSE(RestoreAccountFolder(std::nullopt, archive));
        EXPECT_EQ(Tree(Account()), before);
        EXPECT_EQ(prompter->Texts().size(), 1u);
        EXPECT_FALSE(fs::exists(home / "game" / "evil.ini"));
        EXPECT_EQ(std::distance(fs::directory_iterator(home / "game"), fs::directory_iterator()),
                  1);
    }

    // Through the worker: the restore's own message box, then a failure without text.
    server.Reply(kDownload, "success\n/files/bad.zip");
    server.Reply("/files/bad.zip", "garbage");
    Run(std::make_unique<CDownloadConfigThread>());
    EXPECT_EQ(Reason(WM_VM_CONFIG_DOWNLOAD_FAILED), std::nullopt);
    EXPECT_EQ(Tree(Account()), before);
}

TEST_F(SettingsSync, RoundTripThroughThePassport) {
    PassportFake passport(server);
    passport.AddUser({"alice", "pw", "Alice", ""});
    ASSERT_TRUE(PassportLogin("alice", "pw", kRememberCookieSeconds));
    window->Clear();
    Write(Account() / "alice" / "ui.ini", "mine");
    Run(std::make_unique<CUploadConfigThread>());
    ASSERT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_UPLOAD_DONE});

    Write(Account() / "alice" / "ui.ini", "changed");
    window->Clear();
    Run(std::make_unique<CDownloadConfigThread>());
    ASSERT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_DOWNLOAD_DONE});
    EXPECT_EQ(*platform::ReadWholeFile(Account() / "alice" / "ui.ini"), "mine");

    passport.DropSessions();
    window->Clear();
    Run(std::make_unique<CDownloadConfigThread>());
    EXPECT_EQ(Reason(WM_VM_CONFIG_DOWNLOAD_FAILED), "登录超时");
}

TEST_F(SettingsSync, WithoutCustomPathTheGameFoldersOwnAccountFolderIsUsed) {
    platform::IniFile(theApp().ProfilePath()).DeleteKey("Path", "CustomPath");
    theApp().Game().folder.Set((home / "game2").string() + "/");
    EXPECT_EQ(AccountFolder(), home / "game2" / "Account");
    theApp().Game().folder.Set({});
}

}  // namespace
}  // namespace vm::test
