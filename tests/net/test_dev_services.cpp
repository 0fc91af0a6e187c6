#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "app/messages.h"
#include "net/CDownloadConfigThread.h"
#include "net/CUploadConfigThread.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/DevServices.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

// The development server's account services, reached the way the program reaches them: the
// endpoints file they print.
class DevServicesTest : public PassportTest {
  protected:
    void SetUp() override {
        PassportTest::SetUp();
        ASSERT_TRUE(dev.Start());
        const fs::path file = home / "endpoints.ini";
        ASSERT_TRUE(platform::WriteFileAtomic(file, "[Endpoints]\r\n" + dev.EndpointLines()));
        SetEndpoints(LoadEndpoints(file));
        AcquireServer()->Release();  // a community client for these endpoints
        ::setenv("TMPDIR", (home / "tmp").c_str(), 1);
        fs::create_directories(home / "tmp");
        platform::IniFile(theApp().ProfilePath())
            .WriteString("Path", "CustomPath", (home / "game" / "Tovrin.exe").string());
    }
    void TearDown() override {
        PassportTest::TearDown();
        ::unsetenv("TMPDIR");
    }

    dev::DevServices dev;
};

TEST_F(DevServicesTest, TheDemoAccountLogsInToThePassportAndTheCommunity) {
    EXPECT_EQ(GetEndpoints().passportOrigin, dev.Origin());
    EXPECT_FALSE(PassportLogin(dev::DevServices::kDemoUser, "wrong", 0));
    EXPECT_EQ(GetServer()->GetLoginUser(), nullptr);

    ASSERT_TRUE(PassportLogin(dev::DevServices::kDemoUser, dev::DevServices::kDemoPassword, 0));
    EXPECT_EQ(PassportAccountText().Get(), "demo");
    ILoginUser* community = GetServer()->GetLoginUser();
    ASSERT_NE(community, nullptr) << "the community login follows the passport's";
}

// The upload is a multipart form: the services' own server must hand it over whole.
TEST_F(DevServicesTest, TheDemoAccountsSettingsGoUpAndComeBack) {
    const fs::path file = home / "game" / "Account" / "demo" / "ui.ini";
    fs::create_directories(file.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(file, "mine"));
    ASSERT_TRUE(PassportLogin(dev::DevServices::kDemoUser, dev::DevServices::kDemoPassword,
                              kRememberCookieSeconds));
    window->Clear();
    Run(std::make_unique<CUploadConfigThread>());
    ASSERT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_UPLOAD_DONE});

    ASSERT_TRUE(platform::WriteFileAtomic(file, "changed"));
    window->Clear();
    Run(std::make_unique<CDownloadConfigThread>());
    ASSERT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_CONFIG_DOWNLOAD_DONE});
    EXPECT_EQ(platform::ReadWholeFile(file).value_or(""), "mine");
}

}  // namespace
}  // namespace vm::test
