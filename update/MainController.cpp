#include "update/MainController.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/SettingsKeys.h"
#include "app/messages.h"
#include "net/CPHPServer.h"
#include "net/GameDataUpload.h"
#include "net/ILoginUser.h"
#include "net/LoginMessages.h"
#include "net/Passport.h"
#include "update/AutoUpdateDecision.h"
#include "update/UnknownAddOns.h"

namespace vm {

namespace {

// A process-wide guard against a second exit confirmation.
int g_exitQuestions = 0;

class PassportAccount : public IMainAccount {
  public:
    bool IsLoggedIn() const override { return GetServer()->GetLoginUser() != nullptr; }
    std::string UserName() const override {
        ILoginUser* user = GetServer()->GetLoginUser();
        return user ? user->GetUserName() : std::string();
    }
    bool HasSession() const override { return !PassportAccountText().Get().empty(); }
    bool LogInWithStoredCredentials(int cookieSeconds) override {
        const std::optional<StoredCredentials> credentials = LoadStoredCredentials();
        return credentials &&
               PassportLogin(credentials->userName, credentials->password, cookieSeconds);
    }
    void LogOut() override { PassportLogout(); }
};

}  // namespace

std::string SelfChecksumText(const std::string& executable) {
    std::optional<std::string> md5 = Md5OfFile(executable);
    if (!md5) return "未知";
    std::string upper = *md5;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

IMainAccount& PassportMainAccount() {
    static PassportAccount account;
    return account;
}

// ---- account -----------------------------------------------------------------------------

void MainController::RefreshLoginState() {
    const bool in = m_account.IsLoggedIn();
    m_view.ShowLoginState(in, in ? m_account.UserName() : std::string());
    if (in) m_view.StartAvatarWorker();
    m_view.ReloadPage();
}

void MainController::AutoLogin() {
    CVelmoraApp& app = theApp();
    if (app.GetProfile(settings::kAutoLogin) == 0) return;
    if (app.GetProfile(settings::kDoor).empty() || app.GetProfile(settings::kKey).empty()) return;
    const int seconds = app.GetProfile(settings::kRememberMe) ? kRememberCookieSeconds : 0;
    // Success reaches the window as WM_VM_ACCOUNT_CHANGED.
    if (!m_account.LogInWithStoredCredentials(seconds))
        m_view.ShowPlainBox(AutoLoginFailureText(LastPassportFailure()));
}

int MainController::OnAvatarReady(std::uint64_t uid, const std::string& avatarFile) {
    if (!m_account.IsLoggedIn()) return -1;
    m_view.ShowAccount(m_account.UserName(), uid, avatarFile);
    return 0;
}

void MainController::Logout() {
    m_account.LogOut();
    RefreshLoginState();
}

// ---- update and game ---------------------------------------------------------------------

void MainController::DecideAutomaticUpdate() {
    const AutoUpdateDecision decision = vm::DecideAutomaticUpdate();
    if (decision == AutoUpdateDecision::Start) {
        m_autoStarted = true;
        StartUpdate(UpdateSession::Kind::Automatic);
    } else {
        m_view.ShowStatus(AutoUpdateDecisionText(decision));
    }
}

void MainController::StartUpdate(UpdateSession::Kind kind) {
    // The session sets the flags and starts the scan and the run.
    if (!m_session || m_session->Start(kind) == UpdateSession::Started::AlreadyRunning) return;
    m_updateIdle = false;
    m_view.SetUpdateFace(false);
}

void MainController::OnUpdateButton() {
    if (m_updateIdle) {
        StartUpdate(UpdateSession::Kind::Refresh);
    } else {
        if (m_session) m_session->Cancel();
        m_view.EnableUpdate(false);
    }
}

void MainController::OnUpdateEnd() {
    if (!g_gameRunning.IsSet()) m_view.EnableRunGame(true);
    if (theApp().GetProfile(settings::kAutoRun) && m_autoStarted) {
        m_autoStarted = false;
        m_runGamePending = true;
        m_view.SetRunGameTimer(true);
    }
    m_updateIdle = true;
    m_view.SetUpdateFace(true);
    m_view.EnableUpdate(true);
}

void MainController::RunGame() {
    if (g_gameRunning.IsSet()) return;
    m_view.ShowStatus("正在运行Tovrin...");
    m_view.EnableUpdate(false);
    m_view.EnableRunGame(false);
    g_gameRunning.Set();
    m_view.StartGameWorker();
}

void MainController::OnGameEnded() {
    m_view.EnableUpdate(true);
    m_view.EnableRunGame(true);
    g_gameRunning.Reset();
}

void MainController::OnRunGameTimer() {
    CancelPendingGame();
    RunGame();
}

void MainController::CancelPendingGame() {
    m_runGamePending = false;
    m_view.SetRunGameTimer(false);
}

bool MainController::DecideUnknownAddOns(const std::vector<std::string>& candidates,
                                         const std::vector<std::string>& listPaths) {
    if (std::optional<UnknownAddOnsDecision> remembered = DeleteModeDecision())
        return *remembered == UnknownAddOnsDecision::Isolate;
    return m_view.AskDeleteUnknown(candidates, listPaths);
}

void MainController::OnPageLoaded(bool embeddedPage, bool ok) {
    if (!ok) {
        m_pageFailed = true;
        theApp().Runs().commitGate.Set();
        return;
    }
    if (m_pageHandled || !embeddedPage) return;
    m_pageHandled = true;
    if (!m_pageFailed) theApp().Runs().commitGate.Set();
}

void MainController::OnCommitGateTimer() {
    theApp().Runs().commitGate.Set();
}

// ---- game server -------------------------------------------------------------------------

void MainController::StartLatency() {
    if (!m_currentServer) {
        // Only the record of the chosen add-on set is current. Without one there is nothing
        // to measure, and the chosen set stays as the player left it.
        const std::string chosen = theApp().GetProfile(settings::kVersion);
        if (!chosen.empty())
            for (const GameServerRecord& r :
                 ReadRealmsFile((theApp().Locations().cacheDir / "Velmora.realms").string()))
                if (r.displayName == chosen) m_currentServer = r;
    }
    if (m_currentServer) {
        theApp().WriteProfile(settings::kVersion, m_currentServer->displayName);
        m_view.StartPingWorker(*m_currentServer);
        m_view.ShowLatency("");
    } else {
        m_view.ShowLatency("未知");
    }
    m_view.EnableRunGame(true);
}

void MainController::OnRealmsReady() {
    // A first start has no list until now: measure as soon as there is one.
    if (!m_currentServer) StartLatency();
}

void MainController::OnPingResult(const GameServerRecord& record) {
    if (!m_currentServer || record.displayName != m_currentServer->displayName) return;
    m_currentServer->latency = record.latency;
    m_view.ShowLatency(record.latency == -1 ? std::string("N/A")
                                            : std::to_string(record.latency) + " ms");
}

// ---- shortcut ----------------------------------------------------------------------------

void MainController::OfferShortcut() {
    CVelmoraApp& app = theApp();
    if (app.GetProfile(settings::kNotifyShortcut2) == 0) {
        if (app.GetProfile(settings::kRefreshShortcut) == 0) {
            m_view.RemoveLauncher();
            app.WriteProfile(settings::kRefreshShortcut, 1);
        }
        if (!m_view.LauncherExists()) {
            const int answer = m_view.ShowBox(
                "<c "
                "#F4E9FF>为了方便使用Velmora客户端进行游戏，Velmora可以在桌面上创建相应的快捷方式。"
                "\n\n您愿意在桌面上创建Velmora的快捷方式吗？</c>",
                "<c #F4E9FF>创建快捷方式</c>", kBoxQuestion);
            if (answer == kAnswerYes) {
                const int error = m_view.CreateLaunchers();
                if (error == 0) {
                    m_view.ShowBox(
                        "<c "
                        "#F4E9FF>"
                        "Velmora的快捷方式创建成功。您以后可以通过桌面的快捷方式直接运行Velmora。</"
                        "c>",
                        "<c #F4E9FF>成功</c>", kBoxInformation);
                } else {
                    m_view.ShowBox("<c #F4E9FF>无法创建Velmora的快捷方式。(错误代码：" +
                                       std::to_string(error) + ")</c>",
                                   "<c #F4E9FF>创建快捷方式</c>", kBoxError);
                }
            }
            app.WriteProfile(settings::kNotifyShortcut2, 1);
        }
    }
    g_shortcutOffered.Set();
}

// ---- close and exit ----------------------------------------------------------------------

void MainController::OnCloseButton() {
    const std::string meaning = theApp().GetProfile(settings::kCloseMeanMin);
    if (meaning == "false")
        ExitWithConfirmation();
    else if (meaning == "true")
        m_view.HideToTray();
    else
        m_view.AskCloseMeaning();
}

void MainController::ExitWithConfirmation() {
    if (theApp().GetProfile(settings::kConfirmExit) != 1) {
        m_view.PostQuit();
        return;
    }
    if (g_exitQuestions > 0) return;
    ++g_exitQuestions;
    const int answer = m_view.ConfirmExit();
    --g_exitQuestions;
    if (answer == kAnswerYes) m_view.PostQuit();
}

// ---- settings transfer -------------------------------------------------------------------

void MainController::TransferConfig(bool upload) {
    const char* question =
        upload ? "<c #FDE6F9>服务器上的插件配置信息将被当前的配置取代，你确定要继续吗？"
               : "<c #FDE6F9>所有的插件配置信息将被新的配置取代，你确定要继续吗？";
    const char* title = upload ? "<c #FDE6F9>上传配置" : "<c #FDE6F9>下载配置";
    if (m_view.ShowBox(question, title, kBoxUploadQuestion) != kAnswerYes) return;
    m_view.ShowTransferBusy(upload ? "正在上传配置，请稍候……" : "正在下载配置，请稍候……");
    m_view.StartConfigWorker(upload);
}

void MainController::OnConfigResult(std::uint32_t msg, const std::optional<std::string>& reason) {
    m_view.ShowTransferBusy(std::nullopt);
    switch (msg) {
        case WM_VM_CONFIG_UPLOAD_DONE:
            m_view.ShowBox("<c #FDE6F9>上传配置成功！", "<c #FDE6F9>上传配置", kBoxInformation);
            break;
        case WM_VM_CONFIG_UPLOAD_FAILED:
            if (reason)
                m_view.ShowBox("<c #FDE6F9>上传配置失败！(" + *reason + ")", "<c #FDE6F9>上传配置",
                               kBoxError);
            break;
        case WM_VM_CONFIG_DOWNLOAD_DONE:
            m_view.ShowBox("<c #FDE6F9>下载配置成功！", "<c #FDE6F9>下载配置", kBoxInformation);
            break;
        case WM_VM_CONFIG_DOWNLOAD_FAILED:
            if (reason)
                m_view.ShowBox("<c #FDE6F9>下载配置失败！(" + *reason + ")", "<c #FDE6F9>下载配置",
                               kBoxError);
            break;
        default:
            break;
    }
}

}  // namespace vm
