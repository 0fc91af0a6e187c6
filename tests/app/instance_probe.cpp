// The real start-up and exit sequence with every window replaced by a line in "probe.log"
// beside the executable. Driven by the environment:
//   PROBE_MIRROR=ok        the mirror dialog ends with OK (else it is cancelled)
//   PROBE_SPLASH_WAIT=1    the splash stays until a file "stop" appears beside the executable
//   PROBE_WINDOW=1         the main window registers a target and waits for WM_VM_ACTIVATE
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/ManualResetEvent.h"
#include "app/messages.h"
#include "platform/FileUtil.h"

namespace {

void Log(const std::string& line) {
    const auto path = platform::ExecutableDir() / "probe.log";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string l = line + "\n";
    [[maybe_unused]] ssize_t n = ::write(fd, l.data(), l.size());
    ::close(fd);
}

bool Env(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v && std::string(v) == value;
}

class ActivationTarget : public vm::MessageTarget {
  public:
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
    bool Post(std::uint32_t msg, std::uintptr_t, std::intptr_t, vm::Payload) override {
        if (msg == vm::WM_VM_ACTIVATE) {
            Log("activated");
            activated.Set();
        }
        return true;
    }
    vm::ManualResetEvent activated;
};

class ProbeUi : public vm::IStartupUi {
  public:
    void InitSkinDefaults() override { Log("skin"); }
    void ShowPlainMessage(const std::string& text) override { Log("message " + text); }
    bool RunMirrorDialog() override {
        Log("mirror");
        if (!Env("PROBE_MIRROR", "ok")) return false;
        vm::theApp().WriteProfileInt("Update", "Server", 1);
        return true;
    }
    void RunSplash() override {
        auto& app = vm::theApp();
        Log("splash " + app.PublishedState().expectedInfoChecksum.Get() + "/" +
            app.PublishedState().expectedListChecksum.Get());
        if (Env("PROBE_SPLASH_WAIT", "1")) WaitForStop();
    }
    void RunMainWindow() override {
        if (!Env("PROBE_WINDOW", "1")) {
            Log("main");
            return;
        }
        auto target = std::make_shared<ActivationTarget>();
        vm::theApp().SetMainTarget(target);
        Log("main window");
        target->activated.WaitFor(std::chrono::seconds(20));
    }

  private:
    static void WaitForStop() {
        const auto stop = platform::ExecutableDir() / "stop";
        for (int i = 0; i < 2000 && !std::filesystem::exists(stop); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

}  // namespace

int main(int argc, char** argv) {
    vm::theApp().SetStatisticStarter([](int action) { Log("stat " + std::to_string(action)); });
    ProbeUi ui;
    return vm::theApp().Run(argc, argv, ui);
}
