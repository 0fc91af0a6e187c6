#pragma once

#include <memory>

#include "app/IStartupUi.h"

namespace vm {

// The windows of the start-up sequence for the window program. Until the skinned windows
// exist, the main window is a plain one that shows the status line and comes to the front
// when a second copy asks.
class QtStartupUi : public IStartupUi {
  public:
    void InitSkinDefaults() override;
    void ShowPlainMessage(const std::string& text) override;
    bool RunMirrorDialog() override;
    void RunSplash() override;
    void RunMainWindow() override;
};

}  // namespace vm
