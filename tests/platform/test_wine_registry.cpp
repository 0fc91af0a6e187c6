#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/WineRegistry.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

class WineRegistryTest : public ::testing::Test {
  protected:
    void Registry(const std::string& text) {
        std::ofstream(prefix / "system.reg", std::ios::binary) << text;
    }
    vm::test::ScopedTempDir temp;
    const fs::path prefix = temp.Path();
};

TEST_F(WineRegistryTest, ReadsEscapedStringValuesOfTheRightKey) {
    Registry(
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
        "[Software\\\\Halvar\\\\TVRN\\\\Sub] 1700000000\n\"InstallPath\"=\"C:\\\\Wrong\"\n\n"
        "[Software\\\\Halvar\\\\TVRN] 1700000000\r\n#time=1da0\r\n"
        "\"Version\"=dword:00000001\r\n"
        "\"Name\"=\"Say \\\"hi\\\" \\x4e2d\\x6587\"\r\n"
        "\"Expand\"=str(2):\"%ProgramFiles%\\\\Tovrin\"\r\n"
        "@=\"default\"\r\n"
        "\"installpath\"=\"C:\\\\Games\\\\Tovrin\\\\\"\r\n\r\n"
        "[Software\\\\Other] 1\n\"InstallPath\"=\"C:\\\\Other\"\n");
    platform::WineRegistry reg(prefix);
    EXPECT_EQ(reg.GetMachineString("software\\HALVAR\\tvrn", "InstallPath"), "C:\\Games\\Tovrin\\");
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar\\TVRN", "Name"), "Say \"hi\" 中文");
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar\\TVRN", "Expand"), "%ProgramFiles%\\Tovrin");
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar\\TVRN", ""), "default");
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar\\TVRN", "Version"), std::nullopt);
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar\\TVRN", "Missing"), std::nullopt);
    EXPECT_EQ(reg.GetMachineString("Software\\Halvar", "InstallPath"), std::nullopt);
    EXPECT_FALSE(reg.Is64Bit());
    EXPECT_EQ(platform::WineRegistry(prefix / "none").GetMachineString("Software", "x"),
              std::nullopt);
}

TEST_F(WineRegistryTest, MapsWindowsPathsThroughDosdevicesIgnoringCase) {
    fs::create_directories(prefix / "drive_c" / "Program Files" / "Tovrin");
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    platform::WineRegistry reg(prefix);

    auto p = reg.ToUnixPath("C:\\PROGRAM FILES\\tovrin\\Tovrin.exe");
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, prefix / "dosdevices" / "c:" / "Program Files" / "Tovrin" / "Tovrin.exe");
    // ".." stays on the drive.
    EXPECT_EQ(reg.ToUnixPath("c:\\..\\..\\etc"), prefix / "dosdevices" / "c:" / "etc");
    EXPECT_EQ(reg.ToUnixPath("\\\\server\\share"), std::nullopt);
    EXPECT_EQ(reg.ToUnixPath("Tovrin.exe"), std::nullopt);
}

}  // namespace
