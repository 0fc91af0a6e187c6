#pragma once

// What the main window decides, without the window: the account panel and the automatic
// login, the automatic update and the game start after it, the game server whose latency is
// shown, the desktop shortcut offer, what closing and exiting mean, the unknown add-ons, the
// commit gate and the settings upload and download. The window shows what it is told
// through IMainView; the tests drive the controller with a recording view. UI thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/GameServerRecord.h"
#include "update/UpdateSession.h"

namespace vm {

// Message box answers and styles, the Windows numbers the window's boxes use.
inline constexpr int kAnswerYes = 6;
inline constexpr unsigned kBoxQuestion = 0x24;  // Yes/No with the question icon
inline constexpr unsigned kBoxUploadQuestion = 0x34;
inline constexpr unsigned kBoxInformation = 0x40;
inline constexpr unsigned kBoxError = 0x10;

// The window as its controller sees it.
class IMainView {
  public:
    virtual ~IMainView() = default;

    // Questions. ShowBox is the skinned box and answers with the button (kAnswerYes ...).
    virtual int ShowBox(std::string_view text, std::string_view title, unsigned style) = 0;
    virtual void ShowPlainBox(const std::string& text) = 0;
    // The close button's dialog; its answer comes back as a message (hide or exit).
    virtual void AskCloseMeaning() = 0;
    // kAnswerYes to exit.
    virtual int ConfirmExit() = 0;

    // true: isolate the unknown add-ons.
    virtual bool AskDeleteUnknown(const std::vector<std::string>& candidates,
                                  const std::vector<std::string>& listPaths) = 0;

    // What to show.
    virtual void ShowStatus(const std::string& text) = 0;
    // The update button's face: start (idle) or stop.
    virtual void SetUpdateFace(bool idle) = 0;
    virtual void EnableUpdate(bool on) = 0;
    virtual void EnableRunGame(bool on) = 0;
    // The game start one second later (on), or none pending.
    virtual void SetRunGameTimer(bool on) = 0;
    virtual void ShowLoginState(bool loggedIn, const std::string& userName) = 0;
    virtual void ShowAccount(const std::string& userName, std::uint64_t uid,
                             const std::string& avatarFile) = 0;
    virtual void ShowLatency(const std::string& text) = 0;
    virtual void ReloadPage() = 0;
    // The busy window with text and the window disabled; nullopt hides it and gives the
    // window back.
    virtual void ShowTransferBusy(const std::optional<std::string>& text) = 0;
    virtual void HideToTray() = 0;
    virtual void PostQuit() = 0;

    // Workers; each reports back to the window.
    virtual void StartGameWorker() = 0;
    virtual void StartAvatarWorker() = 0;
    virtual void StartPingWorker(const GameServerRecord& record) = 0;
    virtual void StartConfigWorker(bool upload) = 0;

    // The desktop launcher: whether it is there, removing it, and writing it (with the
    // applications menu's); 0 or the error code.
    virtual bool LauncherExists() = 0;
    virtual void RemoveLauncher() = 0;
    virtual int CreateLaunchers() = 0;
};

// The passport account as the main window needs it.
class IMainAccount {
  public:
    virtual ~IMainAccount() = default;
    // A community user is logged in.
    virtual bool IsLoggedIn() const = 0;
    virtual std::string UserName() const = 0;
    // The passport holds a session (the logon command is offered only without one).
    virtual bool HasSession() const = 0;
    // Logs in with the stored credentials; false when there are none or the login failed.
    virtual bool LogInWithStoredCredentials(int cookieSeconds) = 0;
    virtual void LogOut() = 0;
};

// The checksum label's value: the file's MD5 in upper case, "未知" when it cannot be read.
std::string SelfChecksumText(const std::string& executable);

// The passport and community client of this process.
IMainAccount& PassportMainAccount();

class MainController {
  public:
    MainController(IMainView& view, IMainAccount& account) : m_view(view), m_account(account) {}

    // ---- account
    // The panel follows the account; a logged-in user's avatar is fetched, the page reloaded.
    void RefreshLoginState();
    // [Guest] AutoLogin with both stored credentials: log in, or say it failed.
    void AutoLogin();
    // -1 when nobody is logged in.
    int OnAvatarReady(std::uint64_t uid, const std::string& avatarFile);
    void Logout();
    bool IsLoggedIn() const { return m_account.IsLoggedIn(); }
    // The enabled rules of the account commands.
    bool CanLogOn() const { return !m_account.HasSession(); }
    bool HasAccount() const { return m_account.IsLoggedIn() || m_account.HasSession(); }

    // ---- update and game
    // The session every run starts in; the window makes it with its target.
    void SetSession(UpdateSession* session) { m_session = session; }
    // At start-up: start the run or say why not.
    void DecideAutomaticUpdate();
    // The update button: start a run, or cancel the running one.
    void OnUpdateButton();
    void OnUpdateEnd();
    void RunGame();
    void OnGameEnded();
    void OnRunGameTimer();
    // The settings dialog closed: no game start stays pending behind it.
    void CancelPendingGame();
    bool IsUpdateIdle() const { return m_updateIdle; }
    bool IsAutoStarted() const { return m_autoStarted; }
    bool IsRunGameTimerPending() const { return m_runGamePending; }

    // ---- unknown add-ons: DeleteMode first, then the question; true isolates them.
    bool DecideUnknownAddOns(const std::vector<std::string>& candidates,
                             const std::vector<std::string>& listPaths);

    // ---- the commit gate opens at the news page's first load, its failure or the fallback
    void OnPageLoaded(bool embeddedPage, bool ok);
    void OnCommitGateTimer();
    bool IsPageHandled() const { return m_pageHandled; }
    bool IsPageFailed() const { return m_pageFailed; }

    // ---- the game server of the chosen add-on set
    // Reads the realms list when no record is current; measures the current one.
    void StartLatency();
    void OnRealmsReady();
    void OnPingResult(const GameServerRecord& record);
    const std::optional<GameServerRecord>& CurrentServer() const { return m_currentServer; }

    // ---- the desktop shortcut, once
    void OfferShortcut();

    // ---- close and exit
    void OnCloseButton();
    void ExitWithConfirmation();

    // ---- settings transfer
    void TransferConfig(bool upload);
    // msg is the worker's WM_VM_CONFIG_... message; a failure without a reason shows nothing.
    void OnConfigResult(std::uint32_t msg, const std::optional<std::string>& reason);

  private:
    void StartUpdate(UpdateSession::Kind kind);

    IMainView& m_view;
    IMainAccount& m_account;
    UpdateSession* m_session = nullptr;
    std::optional<GameServerRecord> m_currentServer;
    bool m_autoStarted = false;  // only a run started at start-up may start the game
    bool m_updateIdle = true;
    bool m_runGamePending = false;
    bool m_pageFailed = false;
    bool m_pageHandled = false;
};

}  // namespace vm
