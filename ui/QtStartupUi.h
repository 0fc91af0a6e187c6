#pragma once

#include "app/IStartupUi.h"
#include "ui/CDlgSelectServer.h"
#include "ui/CDlgSplash.h"
#include "ui/MainWindowRunner.h"

namespace vm {

// The windows of the start-up sequence for the window program: the mirror choice
// (CDlgSelectServer), the splash (CDlgSplash) and then the main window, which runs through
// the runner main.cpp hands in until the program is to end.
class QtStartupUi : public IStartupUi {
  public:
    explicit QtStartupUi(MainWindowRunner runMainWindow = RunPlainMainWindow);

    void InitSkinDefaults() override;
    void ShowPlainMessage(const std::string& text) override;
    bool RunMirrorDialog() override;
    void RunSplash() override;
    void RunMainWindow() override;

    // Tests shorten the splash's timing and replace its workers and the latency workers.
    void SetSplashOptions(CDlgSplash::Options options) { m_splashOptions = std::move(options); }
    void SetLatencyStarter(CDlgSelectServer::LatencyStarter starter) {
        m_latencyStarter = std::move(starter);
    }

  private:
    MainWindowRunner m_runMainWindow;
    CDlgSplash::Options m_splashOptions;
    CDlgSelectServer::LatencyStarter m_latencyStarter;
};

// The main window's changes to the skin's look, applied when it opens (after
// QtStartupUi::InitSkinDefaults, which sets everything else).
void ApplyMainWindowSkinTheme();

}  // namespace vm
