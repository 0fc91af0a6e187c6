#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/ThreadWait.h"
#include "update/CFileListModel.h"
#include "update/ChecksumMap.h"
#include "update/DiskComparison.h"
#include "update/FileEntries.h"
#include "update/FileListParser.h"

namespace fs = std::filesystem;
using vm::FileListParseResult;
using vm::tagFILEINFO;

namespace {

FileListParseResult Parse(const std::string& xml, vm::CFileListModel& model,
                          vm::ModelFill fill = vm::ModelFill::Replace) {
    return vm::ParseFileListInto(xml, model, fill);
}

TEST(FileListParser, FillsTheModelInItsThreeParts) {
    vm::CFileListModel model;
    auto result = Parse(R"(<?xml version="1.0" encoding="UTF-8"?>
<AddOns>
  <File path="top.xml" checksum="t1"/>
  <AddOn folder="Recount" version="5.0" author="张三">
    <File path="Recount.lua" checksum="r1"/>
    <Anything path="locale\zhCN.lua" checksum="r2"/>
    <File path="no-checksum.lua"/>
  </AddOn>
  <AddOn folder="Extra" X-Velmora-Option="1"><File path="e.lua" checksum="e1"/></AddOn>
  <AddOn folder="Other" X-Velmora-Option="yes"><File path="o.lua" checksum="o1"/></AddOn>
  <AddOn folder="Recount"><File path="new.lua" checksum="r3"/></AddOn>
  <Unknown path="x" checksum="y"/>
  <File checksum="no path"/>
</AddOns>)",
                        model);
    EXPECT_EQ(result.outcome, FileListParseResult::Outcome::Ok);
    EXPECT_EQ(model.m_topLevelFiles, (std::map<std::string, std::string>{{"top.xml", "t1"}}));
    ASSERT_EQ(model.m_regularAddOns.size(), 2u);
    // The later AddOn of the same folder replaces the earlier one whole.
    const vm::AddOnRecord& recount = model.m_regularAddOns.at("Recount");
    EXPECT_EQ(recount.files, (std::map<std::string, std::string>{{"new.lua", "r3"}}));
    EXPECT_TRUE(recount.properties.empty());
    EXPECT_EQ(model.m_regularAddOns.at("Other").properties.at("X-Velmora-Option"), "yes");
    ASSERT_EQ(model.m_optionalAddOns.size(), 1u);
    EXPECT_EQ(model.m_optionalAddOns.at("Extra").files.at("e.lua"), "e1");

    vm::CFileListModel first;
    Parse(R"(<AddOns><AddOn folder="Recount" version="5.0" author="张三">
             <Anything path="locale\zhCN.lua" checksum="r2"/></AddOn></AddOns>)",
          first);
    EXPECT_EQ(first.m_regularAddOns.at("Recount").properties,
              (std::map<std::string, std::string>{{"author", "张三"}, {"version", "5.0"}}));
    EXPECT_EQ(first.m_regularAddOns.at("Recount").files.at("locale\\zhCN.lua"), "r2");
}

TEST(FileListParser, MalformedDocumentLeavesTheModelAndANewListReplacesIt) {
    vm::CFileListModel model;
    Parse(R"(<AddOns><AddOn folder="SetA"><File path="a.lua" checksum="1"/></AddOn></AddOns>)",
          model);
    EXPECT_EQ(Parse("<AddOns><AddOn folder=", model).outcome,
              FileListParseResult::Outcome::NotWellFormed);
    EXPECT_EQ(Parse("", model).outcome, FileListParseResult::Outcome::NotWellFormed);
    EXPECT_EQ(model.m_regularAddOns.count("SetA"), 1u);

    // Another set's list: nothing of the first one remains.
    Parse(R"(<AddOns><AddOn folder="SetB"><File path="b.lua" checksum="2"/></AddOn></AddOns>)",
          model);
    EXPECT_EQ(model.m_regularAddOns.count("SetA"), 0u);
    EXPECT_EQ(model.m_regularAddOns.count("SetB"), 1u);
    Parse(R"(<AddOns><File path="c" checksum="3"/></AddOns>)", model, vm::ModelFill::Add);
    EXPECT_EQ(model.FileCount(), 2u);
    // An empty list empties the model.
    Parse("<AddOns/>", model);
    EXPECT_TRUE(model.Empty());
}

TEST(FileListParser, RefusesPathsThatLeaveInterfaceAndReadsTheRest) {
    vm::CFileListModel model;
    auto result = Parse(R"(<AddOns>
  <File path="../../outside.dll" checksum="x"/>
  <File path="C:evil.lua" checksum="x"/>
  <File path="\\host\share\x.lua" checksum="x"/>
  <AddOn folder="..\.."><File path="a.lua" checksum="x"/></AddOn>
  <AddOn folder="/etc"><File path="b.lua" checksum="x"/></AddOn>
  <AddOn folder="Good">
    <File path="sub/../../../x.lua" checksum="x"/>
    <File path="/abs.lua" checksum="x"/>
    <File path="ok.lua" checksum="1"/>
  </AddOn>
  <File path="fine.xml" checksum="2"/>
</AddOns>)",
                        model);
    EXPECT_EQ(result.outcome, FileListParseResult::Outcome::Ok);
    EXPECT_EQ(result.refused, 7u);
    EXPECT_EQ(model.FileCount(), 2u);
    EXPECT_EQ(model.m_regularAddOns.at("Good").files.at("ok.lua"), "1");
    EXPECT_EQ(model.m_topLevelFiles.at("fine.xml"), "2");
}

TEST(FileListParser, TextThatIsNotUtf8StopsTheParseWithAMessage) {
    auto prompter = std::make_shared<vm::test::ScriptedPrompter>();
    vm::theApp().SetPrompter(prompter);
    const std::string bad =
        "<AddOns><File path=\"a\" checksum=\"1\"/>"
        "<AddOn folder=\"B\"><File path=\"\xC0\xAF.lua\" checksum=\"2\"/>"
        "</AddOn><File path=\"c\" checksum=\"3\"/></AddOns>";
    vm::CFileListModel model;
    EXPECT_FALSE(vm::ParseFileListDocument(bad, model));
    ASSERT_EQ(prompter->Texts().size(), 1u);
    EXPECT_EQ(prompter->Texts()[0],
              "解析更新文件失败，错误代码：(" + std::to_string(EILSEQ) + ")。");
    EXPECT_EQ(model.m_topLevelFiles.count("a"), 1u);  // what came before stays
    EXPECT_EQ(model.m_topLevelFiles.count("c"), 0u);
    EXPECT_TRUE(model.m_regularAddOns.empty());
    EXPECT_TRUE(vm::ParseFileListDocument("<AddOns/>", model));
    EXPECT_TRUE(model.Empty());
    EXPECT_FALSE(vm::ParseFileListDocument("<AddOns>", model));
    EXPECT_EQ(prompter->Texts().size(), 1u);  // a malformed list is silent
    vm::theApp().SetPrompter(nullptr);
}

TEST(FileEntries, ListTopLevelThenRegularThenOptionalInKeyOrder) {
    vm::CFileListModel model;
    Parse(R"(<AddOns>
  <AddOn folder="Zeta" X-Velmora-Option="1"><File path="z.lua" checksum="5"/></AddOn>
  <AddOn folder="Beta"><File path="sub\b.lua" checksum="3"/><File path="a.lua" checksum="2"/></AddOn>
  <AddOn folder="Alpha"><File path="./x.lua" checksum="1"/></AddOn>
  <File path="top.xml" checksum="0"/>
</AddOns>)",
          model);
    model.m_topLevelFiles[std::string(300, 'n')] = "too long";
    model.m_topLevelFiles["long-sum"] = std::string(256, 'f');
    auto entries = vm::BuildFileEntries(model);
    EXPECT_EQ(entries, (std::vector<tagFILEINFO>{
                           {"Interface/top.xml", "Interface/top.xml", "0"},
                           {"Interface/Alpha/x.lua", "Interface/Alpha/x.lua", "1"},
                           {"Interface/Beta/a.lua", "Interface/Beta/a.lua", "2"},
                           {"Interface/Beta/sub/b.lua", "Interface/Beta/sub/b.lua", "3"},
                           {"Interface/Zeta/z.lua", "Interface/Zeta/z.lua", "5"},
                       }));
}

TEST(FileEntries, KeptEntriesComeBackWholeAndOnlyForTheirOwnList) {
    vm::test::ScopedTempDir dir;
    const fs::path file = dir.Path() / "filelist.entries";
    constexpr std::uint64_t kCap = 1 << 20;
    const std::vector<tagFILEINFO> entries{
        {"Interface/top.xml", "Interface/top.xml", "0123456789abcdef0123456789abcdef"},
        {"Interface/界面/说明.lua", "Interface/界面/说明.lua", "1"},
        {"Interface/A/sub/b.lua", "Interface/A/sub/b.lua", ""},
    };
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", kCap));  // nothing kept yet
    ASSERT_TRUE(vm::SaveFileEntries(file, "md5-a", entries));
    EXPECT_EQ(vm::LoadFileEntries(file, "md5-a", kCap), entries);
    // A file larger than the caller allows is not even read.
    const auto size = fs::file_size(file);
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", size - 1));
    EXPECT_EQ(vm::LoadFileEntries(file, "md5-a", size), entries);
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-b", kCap));  // another list's
    EXPECT_FALSE(vm::LoadFileEntries(file, "", kCap));
    EXPECT_FALSE(vm::SaveFileEntries(file, "", entries));

    // Cut short or grown by one byte, the file stands for nothing.
    const std::string whole = *platform::ReadWholeFile(file);
    ASSERT_TRUE(platform::WriteFileAtomic(file, whole.substr(0, whole.size() - 1)));
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", kCap));
    ASSERT_TRUE(platform::WriteFileAtomic(file, whole + "x"));
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", kCap));
    // A count far beyond what the file holds is refused before anything is reserved.
    std::string huge = whole;
    const std::size_t countAt = std::string("velmora file entries 1\n").size() + 4 + 5;
    huge.replace(countAt, 4, std::string("\xff\xff\xff\x7f", 4));
    ASSERT_TRUE(platform::WriteFileAtomic(file, huge));
    EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", kCap));
    // Entries a list could never have made: out of Interface, up the tree, a backslash,
    // too long a path, a checksum too long, a mirror path other than the local one.
    for (const tagFILEINFO& bad : std::vector<tagFILEINFO>{
             {"Interface/../../escape.lua", "Interface/../../escape.lua", "1"},
             {"/etc/passwd", "/etc/passwd", "1"},
             {"Other/a.lua", "Other/a.lua", "1"},
             {"Interface/A\\..\\..\\b.lua", "Interface/A\\..\\..\\b.lua", "1"},
             {"Interface/" + std::string(300, 'n'), "Interface/" + std::string(300, 'n'), "1"},
             {"Interface/a.lua", "Interface/a.lua", std::string(256, 'f')},
         }) {
        auto withBad = entries;
        withBad.push_back(bad);
        ASSERT_TRUE(vm::SaveFileEntries(file, "md5-a", withBad));
        EXPECT_FALSE(vm::LoadFileEntries(file, "md5-a", kCap)) << bad.localPath;
    }
    EXPECT_FALSE(
        vm::SaveFileEntries(file, "md5-a", {{"Interface/a.lua", "Interface/elsewhere.lua", "1"}}));
}

class DiskCompare : public ::testing::Test {
  protected:
    void Put(const std::string& relative, const std::string& checksum) {
        const fs::path p = game / relative;
        fs::create_directories(p.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(p, "x"));
        sums[Full(relative)] = checksum;
    }
    std::string Full(const std::string& relative) const { return folder + relative; }
    vm::DiskComparison Compare(const std::string& xml) {
        vm::CFileListModel model;
        EXPECT_EQ(Parse(xml, model).outcome, FileListParseResult::Outcome::Ok);
        return vm::CompareEntriesWithDisk(
            vm::BuildFileEntries(model), folder, vm::WalkInterfaceFiles(folder),
            [this](const std::string& path) -> std::optional<std::string> {
                auto it = sums.find(path);
                if (it == sums.end()) return std::nullopt;
                return it->second;
            });
    }

    vm::test::ScopedTempDir game;
    std::string folder = game.Path().string() + "/";
    std::map<std::string, std::string> sums;
};

TEST_F(DiskCompare, SortsEntriesIntoDownloadCurrentAndRemoval) {
    Put("Interface/Same/a.lua", "aa");
    Put("Interface/Same/changed.lua", "old");
    Put("Interface/Gone/g.lua", "gg");
    Put("Interface/Opt/o.lua", "oo");
    Put("Interface/unhashed.lua", "");
    sums.erase(Full("Interface/unhashed.lua"));
    auto result = Compare(R"(<AddOns>
  <File path="unhashed.lua" checksum="uu"/>
  <AddOn folder="Same"><File path="a.lua" checksum="aa"/><File path="changed.lua" checksum="new"/>
    <File path="missing.lua" checksum="mm"/></AddOn>
  <AddOn folder="Opt" X-Velmora-Option="1"><File path="o.lua" checksum="oo"/>
    <File path="o2.lua" checksum="o2"/></AddOn>
</AddOns>)");
    std::vector<std::string> download;
    for (auto& e : result.toDownload) download.push_back(e.localPath);
    EXPECT_EQ(download,
              (std::vector<std::string>{"Interface/unhashed.lua", "Interface/Same/changed.lua",
                                        "Interface/Same/missing.lua", "Interface/Opt/o2.lua"}));
    // The optional add-on is compared and installed like any other.
    EXPECT_EQ(result.current,
              (std::vector<std::string>{"Interface/Same/a.lua", "Interface/Opt/o.lua"}));
    EXPECT_EQ(result.removalCandidates, std::vector<std::string>{Full("Interface/Gone/g.lua")});
    EXPECT_EQ(result.localFiles.size(), 5u);
}

TEST_F(DiskCompare, AFileNamedTwiceIsDownloadedTheSecondTimeAndOfferedForRemovalOnce) {
    Put("Interface/A/a.lua", "aa");
    Put("Interface/B/b.lua", "bb");
    vm::CFileListModel model;
    Parse(R"(<AddOns><AddOn folder="A"><File path="a.lua" checksum="aa"/></AddOn></AddOns>)",
          model);
    std::vector<vm::tagFILEINFO> entries = vm::BuildFileEntries(model);
    entries.push_back(entries.front());
    std::vector<std::string> walked = vm::WalkInterfaceFiles(folder);
    walked.push_back(Full("Interface/B/b.lua"));  // met twice, through a second way in
    auto result = vm::CompareEntriesWithDisk(
        entries, folder, walked, [this](const std::string& path) -> std::optional<std::string> {
            auto it = sums.find(path);
            if (it == sums.end()) return std::nullopt;
            return it->second;
        });
    EXPECT_EQ(result.current, std::vector<std::string>{"Interface/A/a.lua"});
    ASSERT_EQ(result.toDownload.size(), 1u);
    EXPECT_EQ(result.toDownload[0].localPath, "Interface/A/a.lua");
    EXPECT_EQ(result.removalCandidates, std::vector<std::string>{Full("Interface/B/b.lua")});
}

TEST_F(DiskCompare, LetterCaseDifferenceDownloadsAndOffersTheOldFile) {
    Put("Interface/recount/Recount.lua", "rr");
    auto result = Compare(
        R"(<AddOns><AddOn folder="Recount"><File path="Recount.lua" checksum="rr"/></AddOn></AddOns>)");
    ASSERT_EQ(result.toDownload.size(), 1u);
    EXPECT_EQ(result.toDownload[0].localPath, "Interface/Recount/Recount.lua");
    EXPECT_TRUE(result.current.empty());
    EXPECT_EQ(result.removalCandidates,
              std::vector<std::string>{Full("Interface/recount/Recount.lua")});
}

TEST_F(DiskCompare, EmptyListOffersEverythingButProtectedFiles) {
    for (const char* p :
         {"Interface/login.xml", "Interface/AUTH.XML", "Interface/loading.xml",
          "Interface/CreateChar.xml", "Interface/selectchar.xml", "Interface/usedforself/mine.lua",
          "Interface/UsedForSelf/deep/x.lua", "Interface/Mod/interface/login.xml",
          "Interface/Mod/b.lua", "Interface/a.lua", "Interface/Mod/login.xml"})
        Put(p, "x");
    auto result = Compare("<AddOns/>");
    EXPECT_TRUE(result.toDownload.empty());
    EXPECT_EQ(result.removalCandidates,
              (std::vector<std::string>{Full("Interface/Mod/b.lua"),
                                        Full("Interface/Mod/login.xml"), Full("Interface/a.lua")}));
}

TEST_F(DiskCompare, TheRunsComparisonWaitsForTheScanAndUsesItsMap) {
    Put("Interface/A/a.lua", "aa");
    vm::CFileListModel model;
    Parse(R"(<AddOns><AddOn folder="A"><File path="a.lua" checksum="aa"/></AddOn></AddOns>)",
          model);
    vm::ChecksumMap::Instance().Clear();
    g_scanDone.Reset();
    // The scan finishes only once the comparison waits for it: one that did not wait has
    // compared (or is joining) by then, without the checksum.
    std::atomic<pid_t> comparison{0};
    std::thread scan([&] {
        (void)vm::test::WaitUntilBlocked(comparison);
        vm::ChecksumMap::Instance().Insert(Full("Interface/A/a.lua"), "aa");
        g_scanDone.Set();
    });
    comparison = vm::test::KernelThreadId();
    auto result = vm::CompareWithDisk(vm::BuildFileEntries(model), folder);
    scan.join();
    EXPECT_TRUE(result.toDownload.empty());
    EXPECT_EQ(result.current, std::vector<std::string>{"Interface/A/a.lua"});
}

}  // namespace
