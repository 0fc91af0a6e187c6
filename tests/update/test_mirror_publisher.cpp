#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "archive/ZipArchive.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "tests/support/ProgramSigning.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestPaths.h"
#include "update/CFileListModel.h"
#include "update/ChecksumText.h"
#include "update/FileEntries.h"
#include "update/FileListParser.h"
#include "update/MirrorPublisher.h"
#include "update/UpdateInfo.h"

namespace fs = std::filesystem;
using vm::test::ScopedTempDir;

namespace {

class Publisher : public ::testing::Test {
  protected:
    void Add(const std::string& relative, const std::string& bytes) {
        const fs::path p = work / "addons" / relative;
        fs::create_directories(p.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(p, bytes));
        published["Interface/" + relative] = bytes;
    }
    vm::PublishResult Publish(const std::string& set, std::vector<std::string> optional = {}) {
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = set;
        o.optionalFolders = std::move(optional);
        return vm::PublishMirror(o);
    }
    std::string Entry(const fs::path& archive, const std::string& name) {
        auto bytes = platform::ReadWholeFile(archive);
        if (!bytes) return "<no archive>";
        return vm::ReadZipEntry(*bytes, name).value_or("<no entry>");
    }
    vm::UpdateInfoMap Info() {
        vm::UpdateInfoMap info;
        vm::ParseInfoText(vm::DecodeInfoBytes(Entry(mirror / "Velmora-TVRN/Info.z", "Info")), info);
        return info;
    }

    ScopedTempDir work;
    fs::path mirror = work / "mirror";
    std::map<std::string, std::string> published;  // remote path -> bytes
};

TEST_F(Publisher, MirrorParsesBackIntoExactlyThePublishedFiles) {
    Add("Recount/Recount.lua", "print('recount')\n");
    Add("Recount/locale/zhCN.lua", "L = {}\n");
    Add("Recount/info.ini", "[Info]\r\nX-Revision=Velmora\r\n");
    Add("聊天/聊天.lua", "-- 中文\n");
    Add("Extra/e.lua", "");
    Add("loose.xml", "<Ui/>");
    auto result = Publish("TVRN", {"Extra"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.setFolder, "/TVRN");
    EXPECT_EQ(result.files, 6u);

    const std::string list = Entry(mirror / "TVRN/filelist.xml.z", "filelist.xml");
    vm::CFileListModel model;
    ASSERT_EQ(vm::ParseFileListInto(list, model, vm::ModelFill::Replace).outcome,
              vm::FileListParseResult::Outcome::Ok);
    EXPECT_EQ(model.m_optionalAddOns.count("Extra"), 1u);
    EXPECT_EQ(model.m_regularAddOns.size(), 2u);

    std::map<std::string, std::string> listed;
    for (const vm::tagFILEINFO& e : vm::BuildFileEntries(model)) listed[e.remotePath] = e.checksum;
    std::map<std::string, std::string> expected;
    for (const auto& [remote, bytes] : published) {
        expected[remote] = platform::Md5Hex(bytes);
        // The plain file and its one-entry archive both carry the bytes.
        EXPECT_EQ(platform::ReadWholeFile(mirror / "TVRN" / remote), bytes) << remote;
        const fs::path archive = mirror / "TVRN" / (remote + ".z");
        EXPECT_EQ(vm::ListZipEntries(*platform::ReadWholeFile(archive)),
                  std::vector<std::string>{fs::path(remote).filename().string()});
        EXPECT_EQ(Entry(archive, fs::path(remote).filename().string()), bytes) << remote;
    }
    EXPECT_EQ(listed, expected);

    auto info = Info();
    EXPECT_EQ(info["serverTVRN"], "/TVRN");
    EXPECT_EQ(info["Version"], "1.019");
    const std::string infoBytes = Entry(mirror / "Velmora-TVRN/Info.z", "Info");
    EXPECT_EQ(infoBytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(platform::ReadWholeFile(mirror / "Velmora-TVRN/checksum.txt"),
              platform::Md5Hex(infoBytes) + "\r\n" + platform::Md5Hex(list));
}

TEST_F(Publisher, SecondSetJoinsInfoAndTheChecksumFollowsTheFirstSetInKeyOrder) {
    Add("A/a.lua", "one");
    ASSERT_TRUE(Publish("Beta").ok);
    const std::string betaList = Entry(mirror / "Beta/filelist.xml.z", "filelist.xml");
    Add("A/b.lua", "two");
    auto alpha = Publish("Alpha");
    ASSERT_TRUE(alpha.ok) << alpha.error;
    const std::string alphaList = Entry(mirror / "Alpha/filelist.xml.z", "filelist.xml");
    ASSERT_NE(alphaList, betaList);
    // Beta again, after Alpha: the list line still names Alpha's list.
    auto again = Publish("Beta");
    ASSERT_TRUE(again.ok) << again.error;

    auto info = Info();
    EXPECT_EQ(info["serverAlpha"], "/Alpha");
    EXPECT_EQ(info["serverBeta"], "/Beta");
    auto sums =
        vm::ParseChecksumText(*platform::ReadWholeFile(mirror / "Velmora-TVRN/checksum.txt"));
    ASSERT_TRUE(sums);
    EXPECT_EQ(sums->list, platform::Md5Hex(alphaList));
    EXPECT_EQ(sums->info, platform::Md5Hex(Entry(mirror / "Velmora-TVRN/Info.z", "Info")));
}

TEST_F(Publisher, RefusesBadInputBeforeWritingAnything) {
    Add("A/a.lua", "one");
    vm::PublishOptions o;
    o.addonsDir = work / "addons";
    o.mirrorDir = mirror;
    o.setName = "TVRN";
    for (const char* folder : {"/../up", "relative", "/a/./b", "/Velmora-TVRN", "/with space"}) {
        o.folder = folder;
        EXPECT_FALSE(vm::PublishMirror(o).ok) << folder;
    }
    o.folder.reset();
    o.setName = "a=b";
    EXPECT_FALSE(vm::PublishMirror(o).ok);
    o.setName = "TVRN";
    o.optionalFolders = {"Missing"};
    EXPECT_FALSE(vm::PublishMirror(o).ok);
    o.optionalFolders.clear();
    o.mirrorDir = work / "addons/A/mirror";
    EXPECT_FALSE(vm::PublishMirror(o).ok);
    EXPECT_TRUE(!fs::exists(mirror) || fs::is_empty(mirror));
    EXPECT_FALSE(fs::exists(work / "addons/A/mirror/Velmora-TVRN"));
    EXPECT_EQ(vm::DefaultSetFolder("官方服务器"),
              "/set-" + platform::Md5Hex("官方服务器").substr(0, 8));
}

TEST_F(Publisher, SigningKeySignsTheNamedProgramsForThePublishedVersion) {
    if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
    Add("A/a.lua", "one");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "client", std::string("\x7f"
                                                                       "ELF client 1")));
    ASSERT_TRUE(platform::WriteFileAtomic(work / "VMUpdate", std::string("\x7f"
                                                                         "ELF updater")));
    vm::PublishOptions o;
    o.addonsDir = work / "addons";
    o.mirrorDir = mirror;
    o.setName = "TVRN";
    o.version = "1.020";
    o.client = (work / "client").string();
    o.updater = (work / "VMUpdate").string();
    o.signingKey = vm::test::SigningKey();
    auto r = vm::PublishMirror(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.signatures,
              (std::vector<std::string>{"/Velmora-TVRN/client.sig", "/Velmora-TVRN/VMUpdate.sig"}));
    auto check = [&](const std::string& name, vm::ProgramRole role, const std::string& version) {
        const auto text = platform::ReadWholeFile(mirror / "Velmora-TVRN" / (name + ".sig"));
        if (!text) return vm::SignatureCheck::Malformed;
        return vm::VerifyProgramSignature(mirror / "Velmora-TVRN" / name, *text, role, version);
    };
    EXPECT_EQ(check("client", vm::ProgramRole::Client, "1.020"), vm::SignatureCheck::Valid);
    EXPECT_EQ(check("VMUpdate", vm::ProgramRole::Updater, "1.020"), vm::SignatureCheck::Valid);

    // A new client published without the key: its old signature goes; the updater's stays.
    ASSERT_TRUE(platform::WriteFileAtomic(work / "client", std::string("\x7f"
                                                                       "ELF client 2")));
    o.updater.reset();
    o.signingKey.reset();
    r = vm::PublishMirror(o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.signatures.empty());
    EXPECT_FALSE(fs::exists(mirror / "Velmora-TVRN/client.sig"));
    EXPECT_EQ(check("VMUpdate", vm::ProgramRole::Updater, "1.020"), vm::SignatureCheck::Valid);

    // The key alone signs what the update information already names, for the new version.
    vm::PublishOptions again;
    again.addonsDir = work / "addons";
    again.mirrorDir = mirror;
    again.setName = "TVRN";
    again.version = "1.021";
    again.signingKey = vm::test::SigningKey();
    r = vm::PublishMirror(again);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(platform::ReadWholeFile(mirror / "Velmora-TVRN/client"),
              "\x7f"
              "ELF client 2");
    EXPECT_EQ(check("client", vm::ProgramRole::Client, "1.021"), vm::SignatureCheck::Valid);
    EXPECT_EQ(check("VMUpdate", vm::ProgramRole::Updater, "1.021"), vm::SignatureCheck::Valid);
}

TEST_F(Publisher, SigningRefusesBeforeWritingAnything) {
    if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
    Add("A/a.lua", "one");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "client", "client"));
    ASSERT_TRUE(platform::WriteFileAtomic(work / "not-a-key.pem", "-----BEGIN NOTHING-----\n"));
    auto options = [&] {
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = mirror;
        o.setName = "TVRN";
        o.version = "1.020";
        o.signingKey = vm::test::SigningKey();
        return o;
    };
    struct Case {
        std::string why;
        vm::PublishOptions o;
    };
    std::vector<Case> cases;
    cases.push_back({"签名密钥不是 PEM 格式的 Ed25519 私钥。", options()});
    cases.back().o.client = (work / "client").string();
    cases.back().o.signingKey = work / "not-a-key.pem";
    cases.push_back({"无法读取文件：" + (work / "no-key.pem").string(), options()});
    cases.back().o.client = (work / "client").string();
    cases.back().o.signingKey = work / "no-key.pem";
    cases.push_back({"没有可签名的程序：请用 --client 或 --updater 指定。", options()});
    cases.push_back({"无法签名：镜像中没有 /Velmora-TVRN/missing。", options()});
    cases.back().o.client = "/Velmora-TVRN/missing";
    cases.push_back({"无法签名：/../outside 不是镜像中的路径。", options()});
    cases.back().o.updater = "/../outside";
    for (const Case& c : cases) {
        const vm::PublishResult r = vm::PublishMirror(c.o);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.why, 0), 0u) << r.error;
        EXPECT_TRUE(!fs::exists(mirror) || fs::is_empty(mirror)) << c.why;
    }
}

TEST_F(Publisher, CommandLineWritesTheWholeMirror) {
    Add("A/a.lua", "one");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "log.txt", "修正\n# 不是注释\n"));
    ASSERT_TRUE(platform::WriteFileAtomic(work / "VMUpdate", "updater"));
    const std::string velmora = (vm::test::BinDir() / "velmora").string();
    const std::string cmd = velmora + " publish " + (work / "addons").string() + " " +
                            mirror.string() + " --set 官方服务器 --folder /gf --version 1.020" +
                            " --no-cache --changelog " + (work / "log.txt").string() +
                            " --client /Velmora-TVRN/Velmora-TVRN.exe --updater " +
                            (work / "VMUpdate").string() + " --optional A >/dev/null";
    ASSERT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 0);
    auto info = Info();
    EXPECT_EQ(info["server官方服务器"], "/gf");
    EXPECT_EQ(info["Version"], "1.020");
    EXPECT_EQ(info["NoCacheMode"], "1");
    EXPECT_EQ(info["ChangeLog"], "修正\r\n # 不是注释\r\n");
    EXPECT_EQ(info["Client"], "/Velmora-TVRN/Velmora-TVRN.exe");
    EXPECT_EQ(info["Updater"], "/Velmora-TVRN/VMUpdate");
    EXPECT_EQ(platform::ReadWholeFile(mirror / "Velmora-TVRN/VMUpdate"), "updater");
    EXPECT_TRUE(fs::exists(mirror / "gf/Interface/A/a.lua.z"));

    EXPECT_EQ(
        WEXITSTATUS(std::system((velmora + " publish only-one-dir --set X 2>/dev/null").c_str())),
        2);
    // The help tells where a signature goes.
    ASSERT_EQ(WEXITSTATUS(std::system(
                  (velmora + " publish --help >" + (work / "help.txt").string()).c_str())),
              0);
    const std::string help = platform::ReadWholeFile(work / "help.txt").value_or("");
    EXPECT_NE(help.find("--sign KEY"), std::string::npos) << help;
    EXPECT_NE(help.find("Velmora-TVRN/VMUpdate.sig"), std::string::npos) << help;
}

}  // namespace
