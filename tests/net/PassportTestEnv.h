#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "net/CPHPServer.h"
#include "net/Passport.h"
#include "tests/net/NetTestEnv.h"
#include "tests/support/RecordingTarget.h"

namespace vm::test {

// A network test with its own program folder (the settings file), a recording main window
// and an empty passport session.
class PassportTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        std::filesystem::create_directories(home / "prog");
        theApp().SetProgramDir(home / "prog");
        theApp().SetMainTarget(window);
        PassportAccountText().Set({});
        // A fresh community client for this test's server.
        AcquireServer()->Release();
    }
    void TearDown() override {
        WaitForWorkers();
        theApp().SetMainTarget(nullptr);
        NetTest::TearDown();
    }
    static void WaitForWorkers() { (void)CWorkerThread::WaitForAll(std::chrono::seconds(10)); }
    template <class T>
    void Run(std::unique_ptr<T> thread) {
        thread->m_pMainWnd = window;
        CWorkerThread::Start(std::move(thread));
        WaitForWorkers();
    }

    std::shared_ptr<RecordingTarget> window = std::make_shared<RecordingTarget>();
};

}  // namespace vm::test
