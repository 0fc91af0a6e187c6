#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Contains;
using vm::test::Quote;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder))
        out[fs::relative(e.path(), folder).generic_string()] =
            e.is_directory() ? "<dir>" : platform::ReadWholeFile(e.path()).value_or("?");
    return out;
}

// `velmora account` on a program folder whose settings point at a game folder of its own.
class CliAccount : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(work / "tmp");
        fs::create_directories(work / "program");
        Write(work / "game/Tovrin.exe", "MZ");
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
    }
    fs::path Account(const std::string& name) const { return work / "game/Account" / name; }

    int Velmora(const std::string& args, std::string& out) {
        const std::string cmd = "TMPDIR=" + Quote((work / "tmp").string()) + " " +
                                Quote(Bin("velmora").string()) + " account " + args +
                                " --program-dir " + Quote((work / "program").string()) + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    vm::test::ScopedTempDir work;
};

TEST_F(CliAccount, ExportThenImportRoundTripsAnAccount) {
    Write(Account("Alice") / "layout.ela", "layout");
    Write(Account("Alice") / "VM_Hive/hive.ini", "hive");
    Write(Account("Alice") / "VM_Hive/cache/data.DAT", std::string(10000, 'd'));
    Write(Account("Bob") / "b.ela", "b");
    const auto original = Tree(Account("Alice"));

    std::string out;
    ASSERT_EQ(Velmora("list", out), 0) << out;
    EXPECT_TRUE(Contains(out, "Alice\nBob\n")) << out;

    ASSERT_EQ(Velmora("export Alice", out), 0) << out;
    const fs::path file = work / "game/Alice.wwc";
    EXPECT_TRUE(Contains(out, "配置文件<" + file.string() + ">已经被成功导出！")) << out;
    ASSERT_TRUE(fs::is_regular_file(file));

    // Changed and extra files go away when the export comes back.
    Write(Account("Alice") / "layout.ela", "changed");
    Write(Account("Alice") / "extra.ela", "extra");
    fs::copy_file(file, work / "Alice.copy.wwc");
    // Without a terminal to ask, an existing account is kept unless --yes is given.
    EXPECT_EQ(Velmora("import " + Quote((work / "Alice.copy.wwc").string()), out), 1) << out;
    EXPECT_EQ(platform::ReadWholeFile(Account("Alice") / "layout.ela"), "changed");
    ASSERT_EQ(Velmora("import " + Quote((work / "Alice.copy.wwc").string()) + " --yes", out), 0)
        << out;
    EXPECT_TRUE(Contains(out, "已经被成功导入到账号<Alice>！")) << out;
    EXPECT_EQ(Tree(Account("Alice")), original);

    // Into another name, given explicitly.
    ASSERT_EQ(Velmora("import " + Quote(file.string()) + " Carol", out), 0) << out;
    EXPECT_EQ(Tree(Account("Carol")), original);
    EXPECT_EQ(Tree(Account("Bob")), (std::map<std::string, std::string>{{"b.ela", "b"}}));
}

TEST_F(CliAccount, BadInputFailsAndChangesNothing) {
    Write(Account("Alice") / "keep.ela", "keep");
    const auto before = Tree(work / "game");
    std::string out;
    EXPECT_EQ(Velmora("export Nobody", out), 1) << out;
    EXPECT_EQ(Velmora("export ../Alice", out), 2) << out;
    EXPECT_EQ(Velmora("import " + Quote((work / "missing.wwc").string()), out), 1) << out;
    Write(work / "broken.wwc", "PK\x03\x04 truncated");
    EXPECT_EQ(Velmora("import " + Quote((work / "broken.wwc").string()) + " Alice --yes", out), 1)
        << out;
    EXPECT_TRUE(Contains(out, "导入配置文件失败！")) << out;
    EXPECT_EQ(Velmora("frobnicate", out), 2) << out;
    EXPECT_EQ(Tree(work / "game"), before);
}

TEST_F(CliAccount, AKilledImportsFolderIsNoAccountAndTheNextImportClearsIt) {
    Write(Account("Alice") / "a.ela", "a");
    // What a kill during an import leaves beside the accounts.
    Write(Account(".Alice.restore-k1LL3d") / "half.ela", "half");
    std::string out;
    ASSERT_EQ(Velmora("list", out), 0) << out;
    EXPECT_TRUE(Contains(out, "Alice\n")) << out;
    EXPECT_FALSE(Contains(out, "restore")) << out;

    ASSERT_EQ(Velmora("export Alice", out), 0) << out;
    ASSERT_EQ(Velmora("import " + Quote((work / "game/Alice.wwc").string()) + " Bob", out), 0)
        << out;
    EXPECT_EQ(Tree(work / "game/Account"),
              (std::map<std::string, std::string>{
                  {"Alice", "<dir>"}, {"Alice/a.ela", "a"}, {"Bob", "<dir>"}, {"Bob/a.ela", "a"}}));
}

}  // namespace
