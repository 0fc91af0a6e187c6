// The walk shared between two threads finds what the one-thread walk finds, in its order.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "update/InterfaceWalk.h"

namespace fs = std::filesystem;

namespace {

struct Seen {
    std::vector<std::string> lines;  // path and flags, in visit order
    std::vector<std::string> leftovers;
};

std::string Line(const vm::WalkedFile& f) {
    return f.path + (f.regular ? " reg" : " other") + (f.ambiguous ? " clash" : "") +
           (f.foreign ? " foreign" : "") + (f.hasTime ? " time" : "");
}

class WalkInTwo : public ::testing::Test {
  protected:
    void SetUp() override {
        game = temp.Path().string() + "/game/";
        iface = fs::path(game) / "Interface";
        for (int a = 0; a < 9; ++a)
            for (int f = 0; f < 3; ++f)
                Put("AddOn" + std::to_string(a) + "/f" + std::to_string(f) + ".lua");
        Put("top.lua");
        Put("Clash/x.lua");
        Put("clash/y.lua");
        Put("Deep/a/b/c.lua");
        Put("Deep/a/b/c.lua.vmnew.123.4");
        ASSERT_EQ(::mkfifo((iface / "AddOn3/pipe").c_str(), 0600), 0);
        // A link inside the game folder, one back up the tree (a loop), one to a shared folder.
        fs::create_directory_symlink(iface / "AddOn1", iface / "Linked");
        fs::create_directory_symlink(iface, iface / "Deep/loop");
        const fs::path shared = temp.Path() / "shared";
        fs::create_directories(shared);
        ASSERT_TRUE(platform::WriteFileAtomic(shared / "s.lua", "s"));
        fs::create_directory_symlink(shared, iface / "Shared");
    }
    void Put(const std::string& rel) {
        const fs::path p = iface / rel;
        fs::create_directories(p.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(p, "x"));
    }
    template <class Walk>
    Seen Run(Walk walk, const std::function<bool()>& stop = {}) {
        Seen seen;
        walk(
            game, stop, [&](vm::WalkedFile& f) { seen.lines.push_back(Line(f)); }, &seen.leftovers);
        return seen;
    }

    vm::test::ScopedTempDir temp;
    std::string game;
    fs::path iface;
};

TEST_F(WalkInTwo, FindsTheSameFilesInTheSameOrder) {
    const Seen one = Run(vm::WalkInterface);
    int started = 0;
    const Seen two = Run([&](const std::string& g, const std::function<bool()>& stop,
                             const std::function<void(vm::WalkedFile&)>& visit,
                             std::vector<std::string>* leftovers) {
        return vm::WalkInterfaceInTwo(g, stop, visit, leftovers, [&] { ++started; });
    });
    // Told once that no thread is still to be made.
    EXPECT_EQ(started, 1);
    EXPECT_EQ(two.lines, one.lines);
    EXPECT_EQ(two.leftovers, one.leftovers);
    // The tree above: 27 + top + 2 clashing + deep + pipe + 3 through the link + shared.
    EXPECT_EQ(one.lines.size(), 36u);
    ASSERT_EQ(one.leftovers.size(), 1u);
    EXPECT_NE(std::find(one.lines.begin(), one.lines.end(),
                        (iface / "Clash/x.lua").string() + " reg clash time"),
              one.lines.end());
    EXPECT_NE(std::find(one.lines.begin(), one.lines.end(),
                        (iface / "Shared/s.lua").string() + " reg foreign time"),
              one.lines.end());
}

TEST_F(WalkInTwo, AFolderThatCannotBeWalkedStillTellsItStarted) {
    int started = 0;
    fs::remove_all(iface);
    EXPECT_TRUE(vm::WalkInterfaceInTwo(
        game, {}, [](vm::WalkedFile&) { ADD_FAILURE() << "nothing to visit"; }, nullptr,
        [&] { ++started; }));
    EXPECT_EQ(started, 1);
}

TEST_F(WalkInTwo, StopsWhenAskedAndVisitsOnlyWhatCameBefore) {
    const Seen all = Run(vm::WalkInterface);
    std::atomic<int> asked{0};
    Seen seen;
    const bool complete = vm::WalkInterfaceInTwo(
        game, [&] { return asked.fetch_add(1) >= 12; },
        [&](vm::WalkedFile& f) { seen.lines.push_back(Line(f)); }, &seen.leftovers);
    EXPECT_FALSE(complete);
    ASSERT_LT(seen.lines.size(), all.lines.size());
    // What was visited is the start of the full walk, nothing skipped in between.
    EXPECT_TRUE(std::equal(seen.lines.begin(), seen.lines.end(), all.lines.begin()));
}

}  // namespace
