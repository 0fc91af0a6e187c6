// The unknown add-on question: grouping of the unknown files, the dialog's rows, the
// confirmation word, "下次不再提示我", and the whole way through an update run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogTestSupport.h"
#include "platform/FileUtil.h"
#include "ui/UnknownAddOns.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

class UnknownAddOnFiles : public ::testing::Test {
  protected:
    // Creates a file below the game's Interface folder; returns its full path.
    std::string Game(const std::string& below, const std::string& bytes = "x") {
        const fs::path p = game / "Interface" / below;
        fs::create_directories(p.parent_path());
        EXPECT_TRUE(platform::WriteFileAtomic(p, bytes));
        return p.string();
    }
    std::string Listed(const std::string& below) { return (temp / "Interface" / below).string(); }
    std::vector<AddOnGroup> Group(const std::vector<std::string>& unknown,
                                  const std::vector<std::string>& listed = {}) {
        return UnknownAddOns(game.string() + "/", temp.string() + "/").Group(unknown, listed);
    }

    ScopedTempDir dir;
    fs::path game = dir / "game";
    fs::path temp = dir / "tmp";
};

MATCHER_P2(IsGroup, name, files, "") {
    return arg.name == name && arg.files == files;
}

TEST_F(UnknownAddOnFiles, AddOnFolderAndLooseFilesMakeTwoGroups) {
    const std::vector<std::string> unknown = {Game("Foo/a.lua"), Game("Foo/b.lua"),
                                              Game("Foo/sub/c.tga"), Game("loose.txt")};
    EXPECT_THAT(Group(unknown), ::testing::ElementsAre(IsGroup("Foo", 3), IsGroup("其它", 1)));
}

TEST_F(UnknownAddOnFiles, ListedAndOwnAddOnsAreNotAskedAbout) {
    // The list carries "foo" in another letter case; "Ours" says this program installed it.
    Game("Ours/info.ini", "Title=\xb2\xe5\xbc\xfe\r\nX-Revision = Velmora\r\n");
    const std::vector<std::string> unknown = {Game("Foo/old.lua"), Game("Ours/old.lua"),
                                              Game("Ours/older.lua")};
    EXPECT_TRUE(Group(unknown, {Listed("foo/new.lua")}).empty());
}

TEST_F(UnknownAddOnFiles, ForeignRevisionVanishedFoldersAndOrdinalOrder) {
    Game("Theirs/INFO.INI", "X-Revision=Other\n");
    const std::vector<std::string> unknown = {Game("Theirs/a.lua"), Game("alpha/a.lua"),
                                              Game("Zeta/z.lua"), Game("loose.txt"),
                                              (game / "Interface" / "Gone" / "x.lua").string()};
    EXPECT_THAT(Group(unknown), ::testing::ElementsAre(IsGroup("Theirs", 1), IsGroup("Zeta", 1),
                                                       IsGroup("alpha", 1), IsGroup("其它", 1)));
}

}  // namespace
}  // namespace vm::test
