#include "app/CQelThread.h"

#include <thread>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/ParticleSwitch.h"
#include "app/messages.h"
#include "platform/ChildProcess.h"

namespace vm {

int CQelThread::RunTask() {
    // The settings as they are now: the user may have changed the path since start-up.
    const std::string folder = ResolveGameFolder();
    ApplyParticleSwitch(folder + "Client.ini",
                        theApp().GetProfile(settings::kDisableParticle) == 1);

    auto game = platform::ChildProcess::Spawn(folder + kGameExecutableName, {}, folder);
    if (!game) {
        SendStatus(m_pMainWnd, "无法找到Tovrin可执行文件，请查看设置。");
        PostTo(m_pMainWnd, WM_VM_GAME_ENDED);
        g_gameRunning.Reset();
        return 0;
    }
    // Counted only once the game really runs, so a failed start is not reported as one.
    theApp().StartStatistic(1);
    game->Wait();
    theApp().StartStatistic(2);
    g_gameRunning.Reset();
    std::this_thread::sleep_for(m_endDelay);
    SendStatus(m_pMainWnd, "");
    PostTo(m_pMainWnd, WM_VM_GAME_ENDED);
    return 0;
}

}  // namespace vm
