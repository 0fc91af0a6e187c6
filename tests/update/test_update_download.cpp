#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "net/HttpFetch.h"
#include "platform/FileUtil.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TestServer.h"
#include "update/AddOnInfo.h"
#include "update/Download.h"
#include "update/FileInstall.h"

namespace fs = std::filesystem;
using vm::test::Fault;

namespace {

std::string Body(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + (i * 7) % 26);
    return s;
}

class UpdateDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        vm::theApp().SetPrompter(prompter);
        g_cancelUpdate.store(0);
    }
    void TearDown() override {
        server.Reply("/close", "bye");
        server.SetFault("/close", Fault::DropAfter(3));
        vm::HttpRequest bye;
        bye.url = server.Url("/close");
        vm::SharedSessionRequest(bye);
        vm::theApp().SetPrompter(nullptr);
    }
    int Get(const std::string& path, vm::ProgressKind kind = vm::ProgressKind::None,
            vm::ShowErrors show = vm::ShowErrors::Yes) {
        return vm::Download(server.Url(path), file, kind, 0, show, target, &why);
    }

    vm::test::TestServer server;
    vm::test::ScopedTempDir dir;
    fs::path file = dir / "f.bin";
    std::shared_ptr<vm::test::RecordingTarget> target =
        std::make_shared<vm::test::RecordingTarget>();
    std::shared_ptr<vm::test::ScriptedPrompter> prompter =
        std::make_shared<vm::test::ScriptedPrompter>();
    vm::DownloadFailure why;
};

TEST_F(UpdateDownload, ServerIgnoringTheRangeRestartsTheFile) {
    const std::string body = Body(5000);
    server.On("GET", "/f", [&](const httplib::Request& req, httplib::Response& res) {
        const_cast<httplib::Request&>(req).ranges.clear();  // never a part
        res.status = 200;
        res.set_content(body, "application/octet-stream");
    });
    server.SetFault("/f", Fault::DropAfter(2000).Times(1));
    ASSERT_EQ(Get("/f"), 0) << why.reason;
    auto reqs = server.RequestsTo("/f");
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[1].Header("Range"), "bytes=2000-");
    EXPECT_EQ(platform::ReadWholeFile(file), body);
}

TEST_F(UpdateDownload, PartStartingElsewhereFailsTheFile) {
    server.On("GET", "/f", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.has_header("Range")) {
            res.status = 206;
            res.set_header("Content-Range", "bytes 0-9/5000");
            res.set_content(Body(10), "application/octet-stream");
        } else {
            res.status = 200;
            res.set_content(Body(5000), "application/octet-stream");
        }
    });
    server.SetFault("/f", Fault::DropAfter(1000).Times(1));
    EXPECT_EQ(Get("/f"), -1);
    EXPECT_FALSE(why.reason.empty());
    EXPECT_EQ(server.RequestsTo("/f").size(), 2u);
}

TEST_F(UpdateDownload, GivesUpAfterFiveAttemptsWithoutANewByte) {
    server.Reply("/f", Body(100));
    server.SetFault("/f", Fault::DropAfter(0));
    EXPECT_EQ(Get("/f"), -1);
    EXPECT_EQ(server.RequestsTo("/f").size(), static_cast<std::size_t>(vm::kMaxIdleResumes));
}

TEST_F(UpdateDownload, BodyWithoutLengthIsReadToItsEnd) {
    const std::string body = Body(70000);
    server.On("GET", "/f", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "application/octet-stream", [&](size_t offset, httplib::DataSink& sink) {
                if (offset >= body.size()) {
                    sink.done();
                    return true;
                }
                sink.write(body.data() + offset, std::min<size_t>(4096, body.size() - offset));
                return true;
            });
    });
    ASSERT_EQ(Get("/f", vm::ProgressKind::Total), 0) << why.reason;
    EXPECT_EQ(platform::ReadWholeFile(file), body);
    auto totals = target->Of(vm::WM_VM_TOTAL_PROGRESS);
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals.back().wParam, 100u);
}

TEST_F(UpdateDownload, EmptyAnswerLeavesAnEmptyFile) {
    ASSERT_TRUE(platform::WriteFileAtomic(file, "old content"));
    server.Reply("/f", "");
    ASSERT_EQ(Get("/f", vm::ProgressKind::File), 0) << why.reason;
    EXPECT_EQ(platform::ReadWholeFile(file), "");
}

TEST_F(UpdateDownload, HttpErrorIsShownOnlyWhenAskedAndLeavesTheFile) {
    ASSERT_TRUE(platform::WriteFileAtomic(file, "old content"));
    server.SetFault("/f", Fault::Status(503));
    EXPECT_EQ(Get("/f", vm::ProgressKind::None, vm::ShowErrors::No), -1);
    EXPECT_TRUE(prompter->Texts().empty());
    EXPECT_EQ(why.httpStatus, 503);
    EXPECT_EQ(Get("/f"), -1);
    EXPECT_EQ(prompter->Texts(),
              std::vector<std::string>{"发生网络传输错误，HTTP错误代码(503)，Velmora更新失败。"});
    EXPECT_EQ(platform::ReadWholeFile(file), "old content");
}

TEST_F(UpdateDownload, ProgressRisesOncePerPercent) {
    server.Reply("/f", Body(300000));
    ASSERT_EQ(Get("/f", vm::ProgressKind::Total), 0);
    auto totals = target->Of(vm::WM_VM_TOTAL_PROGRESS);
    ASSERT_GE(totals.size(), 2u);
    for (std::size_t i = 1; i < totals.size(); ++i) {
        EXPECT_GT(totals[i].wParam, totals[i - 1].wParam);
        EXPECT_EQ(totals[i].lParam, 100);
    }
    EXPECT_EQ(totals.back().wParam, 100u);
    EXPECT_TRUE(target->Of(vm::WM_VM_FILE_PROGRESS).empty());
}

TEST_F(UpdateDownload, FreshDownloadNeverRewritesAnInstalledFile) {
    // The staging copy and the installed file may be two names of one file.
    ASSERT_TRUE(platform::WriteFileAtomic(file, "installed"));
    ASSERT_TRUE(vm::InstallFile(file, dir / "game/f.bin"));
    server.Reply("/f", "newer content");
    ASSERT_EQ(Get("/f"), 0) << why.reason;
    EXPECT_EQ(platform::ReadWholeFile(file), "newer content");
    EXPECT_EQ(platform::ReadWholeFile(dir / "game/f.bin"), "installed");
}

TEST(ContentRange, StartOfThePart) {
    EXPECT_EQ(vm::ContentRangeStart("bytes 100-199/200"), 100);
    EXPECT_EQ(vm::ContentRangeStart("bytes */200"), -1);
    EXPECT_EQ(vm::ContentRangeStart("items 1-2/3"), -1);
    EXPECT_EQ(vm::ContentRangeStart(""), -1);
}

// The add-on description file and the moves of the removal step.
TEST(AddOnInfo, ParsesGbkLinesAndCleansValues) {
    // "标题" in GBK is B1 EA CC E2.
    const std::string text =
        "Title = \xB1\xEA\xCC\xE2 \r\n\r\nluaFile=x.lua\nX-Revision=Velmora\n"
        "NoEquals\n=novalue\nColour=|cFF00FF00Green|r\n";
    auto info = vm::ParseAddOnInfo(vm::GbkToUtf8(text));
    EXPECT_EQ(info["Title"], "标题");
    EXPECT_EQ(info["X-Revision"], "Velmora");
    EXPECT_EQ(info.count("luaFile"), 0u);
    EXPECT_EQ(info.count("NoEquals"), 0u);
    EXPECT_EQ(info["Colour"], "Green");
    EXPECT_EQ(vm::CleanInfoValue("Notes     more"), "Notes\nmore");
    EXPECT_EQ(vm::CleanInfoValue("ab    cd"), "ab    cd");    // the run starts too early
    EXPECT_EQ(vm::CleanInfoValue("|rabcdefghijKL"), "ijKL");  // more than nine follow: ten go
    EXPECT_EQ(vm::GbkToUtf8("a\xFF"), "a\xEF\xBF\xBD");
}

TEST(AddOnInfo, FolderReadingHashesEveryFile) {
    vm::test::ScopedTempDir dir;
    fs::create_directories(dir / "Bags/sub");
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "Bags/INFO.INI", "X-Revision=Velmora\r\n"));
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "Bags/sub/a.lua", "abc"));
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "Bags/a.lua.z", "zip"));
    auto all = vm::ReadAddOnFolder(dir / "Bags", vm::ArchiveFiles::Include);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->properties["X-Revision"], "Velmora");
    EXPECT_EQ(all->files["sub/a.lua"], "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(all->files.count("a.lua.z"), 1u);
    auto skipped = vm::ReadAddOnFolder(dir / "Bags", vm::ArchiveFiles::Skip);
    ASSERT_TRUE(skipped);
    EXPECT_EQ(skipped->files.count("a.lua.z"), 0u);
    fs::create_directories(dir / "Plain");
    EXPECT_FALSE(vm::ReadAddOnFolder(dir / "Plain", vm::ArchiveFiles::Include));
}

TEST(FileInstall, InstallKeepsTheModeAndMovesAsideBelowTheGameFolder) {
    vm::test::ScopedTempDir dir;
    const fs::path game = dir / "interface-game";  // an "interface" in the folder name itself
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "new", "new"));
    fs::create_directories(game / "Interface/A/deep");
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/A/deep/f.lua", "old"));
    fs::permissions(game / "Interface/A/deep/f.lua", fs::perms(0444));
    ASSERT_TRUE(vm::InstallFile(dir / "new", game / "Interface/A/deep/f.lua"));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/A/deep/f.lua"), "new");
    EXPECT_EQ(fs::status(game / "Interface/A/deep/f.lua").permissions(), fs::perms(0644));

    const std::string path = (game / "Interface/A/deep/f.lua").string();
    EXPECT_EQ(vm::ObsoletePathFor(path, game.string() + "/"),
              game / "Interface.obsoleted/A/deep/f.lua");
    auto moved = vm::MoveToObsolete(path, game.string() + "/");
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/A/deep/f.lua"), "new");
    EXPECT_FALSE(fs::exists(game / "Interface/A"));
    EXPECT_TRUE(fs::is_directory(game / "Interface"));
    EXPECT_FALSE(vm::ObsoletePathFor("/no/such/part", "/no/"));
}

}  // namespace
