#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/CVelmoraApp.h"
#include "archive/ZipArchive.h"
#include "net/AccountSettings.h"
#include "net/SettingsSync.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

std::string Read(const fs::path& path) {
    return platform::ReadWholeFile(path).value_or("<missing>");
}

// Every entry below folder with its bytes, relative names in '/' form.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = fs::relative(e.path(), folder).generic_string();
        out[rel] = e.is_directory() ? "<dir>" : Read(e.path());
    }
    return out;
}

std::vector<std::string> Entries(const fs::path& archive) {
    auto names = ListZipEntries(Read(archive));
    EXPECT_TRUE(names.has_value());
    return names.value_or(std::vector<std::string>{});
}

// An archive holding a symbolic link entry named name pointing at target.
std::string ZipWithLink(const std::string& name, const std::string& target) {
    const fs::path file =
        fs::temp_directory_path() / ("vm-link-" + std::to_string(::getpid()) + ".zip");
    int err = 0;
    zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    zip_source_t* src = zip_source_buffer(za, target.data(), target.size(), 0);
    const zip_int64_t index = zip_file_add(za, name.c_str(), src, 0);
    zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    zip_close(za);
    std::string bytes = Read(file);
    fs::remove(file);
    return bytes;
}

class AccountSettings : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root / "prog");
        fs::create_directories(root / "tmp");
        ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
        theApp().SetProgramDir(root / "prog");
        theApp().SetPrompter(prompter);
        theApp().WriteProfileInt("Path", "PathType", 1);
        theApp().WriteProfileString("Path", "CustomPath", (root / "game/Tovrin.exe").string());
        theApp().Game().folder.Set({});
    }
    void TearDown() override {
        theApp().SetPrompter(nullptr);
        ::unsetenv("TMPDIR");
    }
    fs::path Account(const std::string& name = {}) const {
        return name.empty() ? root / "game/Account" : root / "game/Account" / name;
    }

    ScopedTempDir temp;
    const fs::path root = temp.Path();
    std::shared_ptr<ScriptedPrompter> prompter = std::make_shared<ScriptedPrompter>();
};

TEST_F(AccountSettings, ExportPacksElaFilesSubFoldersAndTheirDatAndIni) {
    Write(Account("Alice") / "a.ela", "A");
    Write(Account("Alice") / "b.txt", "B");
    Write(Account("Alice") / "c.ELA", "C");
    Write(Account("Alice") / "sub/x.DAT", "X");
    Write(Account("Alice") / "sub/y.ini", "Y");
    Write(Account("Alice") / "sub/z.lua", "Z");
    Write(Account("Alice") / "sub/deep/w.dat", "W");
    Write(Account("Bob") / "other.ela", "not Alice's");
    const fs::path archive = root / "out/Alice.wwc";
    fs::create_directories(archive.parent_path());
    ASSERT_TRUE(ExportAccount("Alice", archive));
    auto entries = Entries(archive);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"a.ela", "sub/", "sub/deep/", "sub/deep/w.dat",
                                                 "sub/x.DAT", "sub/y.ini"}));
    EXPECT_EQ(ReadZipEntry(Read(archive), "sub/x.DAT"), "X");
    EXPECT_TRUE(prompter->Texts().empty());
}

TEST_F(AccountSettings, AnAccountWithNothingToPackGivesAnArchiveWithoutEntries) {
    Write(Account("Bob") / "b.txt", "B");
    Write(Account("Bob") / "c.ini", "C");
    const fs::path archive = root / "Bob.wwc";
    Write(archive, "old export");
    ASSERT_TRUE(ExportAccount("Bob", archive));
    EXPECT_TRUE(Entries(archive).empty());

    // And importing it gives an empty account, not a failure.
    ASSERT_TRUE(ImportAccount(archive, "Carol"));
    EXPECT_TRUE(fs::is_directory(Account("Carol")));
    EXPECT_TRUE(Tree(Account("Carol")).empty());
}

TEST_F(AccountSettings, NamesAndDefaultPath) {
    EXPECT_EQ(DefaultExportPath("Alice"), root / "game/Alice.wwc");
    EXPECT_EQ(AccountNameFromArchive("/x/Alice.wwc"), "Alice");
    EXPECT_EQ(AccountNameFromArchive("/x/Alice.backup.wwc"), "Alice");
    EXPECT_EQ(AccountNameFromArchive("Alice"), "Alice");

    Write(Account("Zed") / "a.ela", "");
    Write(Account("Alice") / "a.ela", "");
    Write(Account() / "loose.ela", "");
    fs::create_directory_symlink(root, Account("Link"));
    EXPECT_EQ(ListAccounts(), (std::vector<std::string>{"Alice", "Zed"}));

    for (const std::string bad : {"", ".", "..", "../Alice", "a/b", "a\\b"}) {
        EXPECT_FALSE(IsValidAccountName(bad)) << bad;
        EXPECT_FALSE(ExportAccount(bad, root / "x.wwc")) << bad;
        EXPECT_FALSE(ImportAccount(root / "x.wwc", bad)) << bad;
    }
    EXPECT_FALSE(fs::exists(root / "x.wwc"));
    EXPECT_FALSE(ExportAccount("Nobody", root / "n.wwc"));
    EXPECT_FALSE(fs::exists(root / "n.wwc"));
}

TEST_F(AccountSettings, ImportReplacesTheAccountCompletelyAndLeavesOthersAlone) {
    Write(Account("Alice") / "new.ela", "new");
    Write(Account("Alice") / "ui/new.ini", "N");
    const fs::path archive = root / "Alice.wwc";
    ASSERT_TRUE(ExportAccount("Alice", archive));
    const auto exported = Tree(Account("Alice"));

    DeleteFolderTree(Account("Alice"));
    Write(Account("Alice") / "old.ela", "old");
    Write(Account("Alice") / "ui/old.ini", "O");
    Write(Account("Alice") / "stale/s.dat", "S");
    ::chmod(Account("Alice").c_str(), 0555);
    Write(Account("Bob") / "bob.ela", "bob");
    ASSERT_TRUE(ImportAccount(archive, "Alice"));
    EXPECT_EQ(Tree(Account("Alice")), exported);
    EXPECT_EQ(Read(Account("Bob") / "bob.ela"), "bob");
    // No staging or parked folder is left beside the accounts.
    EXPECT_EQ(Tree(Account()).count("Bob"), 1u);
    std::size_t top = 0;
    for (auto& e : fs::directory_iterator(Account())) top += e.is_directory() ? 1 : 0;
    EXPECT_EQ(top, 2u);
}

TEST_F(AccountSettings, KilledRestoresFoldersAreNoAccountsAreNeverPackedAndGoAtTheNextRestore) {
    Write(Account("Alice") / "a.ela", "A");
    Write(Account("Alice") / "ui/a.ini", "I");
    // A kill during an import of Alice left its staging folder.
    Write(Account(".Alice.restore-a1B2c3") / "half.ela", "half");
    Write(Account(".Alice.restore-a1B2c3") / "ui/half.ini", "half");
    // One between parking Bob's folder and moving the new one in: Bob is only parked.
    Write(Account(".Bob.old-Zz9Q01") / "bob.ela", "bob");
    // One after the swap: Carl's new folder is in place, the old one still parked.
    Write(Account("Carl") / "new.ela", "new");
    Write(Account(".Carl.old-xY12ab") / "old.ela", "old");
    // A whole-folder restore killed beside the Account folder; and a folder that is not ours.
    Write(root / "game/.Account.restore-Qq1234/x.ini", "x");
    Write(root / "game/.Interface.old-abcdef/keep", "k");

    EXPECT_EQ(ListAccounts(), (std::vector<std::string>{"Alice", "Carl"}));
    const fs::path upload = root / "upload.dat";
    ASSERT_TRUE(PackAccountFolder(std::nullopt, upload));
    for (const std::string& name : Entries(upload)) {
        EXPECT_EQ(name.find(".restore-"), std::string::npos) << name;
        EXPECT_EQ(name.find(".old-"), std::string::npos) << name;
    }
    EXPECT_EQ(Entries(upload).size(), 4u);  // Alice/, Alice/ui/, Alice/ui/a.ini, Carl/

    // The next import clears them: Bob's parked folder is all he has and comes back.
    const fs::path archive = root / "Alice.wwc";
    ASSERT_TRUE(ExportAccount("Alice", archive));
    ASSERT_TRUE(ImportAccount(archive, "Dora"));
    EXPECT_EQ(ListAccounts(), (std::vector<std::string>{"Alice", "Bob", "Carl", "Dora"}));
    EXPECT_EQ(Read(Account("Bob") / "bob.ela"), "bob");
    EXPECT_EQ(Tree(Account("Carl")), (std::map<std::string, std::string>{{"new.ela", "new"}}));
    std::size_t top = 0;
    for (auto& e : fs::directory_iterator(Account())) top += e.is_directory() ? 1 : 0;
    EXPECT_EQ(top, 4u);

    // The Account folder's own leftover goes at the next whole restore; nothing else there.
    ASSERT_TRUE(RestoreAccountFolder(std::nullopt, upload));
    EXPECT_FALSE(fs::exists(root / "game/.Account.restore-Qq1234"));
    EXPECT_EQ(Read(root / "game/.Interface.old-abcdef/keep"), "k");
    EXPECT_EQ(ListAccounts(), (std::vector<std::string>{"Alice", "Carl"}));
    EXPECT_TRUE(prompter->Texts().empty());
}

TEST_F(AccountSettings, BadArchivesLeaveTheOldFolderByteForByte) {
    Write(Account("Alice") / "keep.ela", "keep");
    Write(Account("Alice") / "ui/keep.ini", "K");
    const auto before = Tree(Account());
    const std::string good =
        *MakeZip({{"a.ela", std::string(20000, 'a')}, {"ui/b.ini", std::string(5000, 'b')}});
    const fs::path archive = root / "in.wwc";
    const std::string cases[] = {
        good.substr(0, good.size() / 2),                    // truncated
        good.substr(0, good.size() - 10),                   // central directory cut
        *MakeZip({{"ok.ela", "1"}, {"../evil.ela", "2"}}),  // climbing out
        *MakeZip({{"ok.ela", "1"}, {"ui/../../evil.ini", "2"}}),
        *MakeZip({{"/tmp/abs.ela", "x"}}),  // absolute
        ZipWithLink("ui/link.ini", "/etc/passwd"),
        "not a zip at all",
    };
    for (const std::string& bad : cases) {
        Write(archive, bad);
        EXPECT_FALSE(ImportAccount(archive, "Alice"));
        EXPECT_EQ(Tree(Account()), before);
        EXPECT_FALSE(fs::exists(root / "game/evil.ela"));
        EXPECT_FALSE(fs::exists(Account() / "evil.ini"));
    }
    EXPECT_FALSE(ImportAccount(root / "missing.wwc", "Alice"));
    EXPECT_EQ(Tree(Account()), before);
}

}  // namespace
}  // namespace vm::test
