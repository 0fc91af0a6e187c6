#pragma once

// The main window: a skinned 802 x 603 window with the account state, the news page, the
// update progress and status, the latency and the caption buttons. Every worker reports here;
// it owns the tray icon and opens the other windows. UI thread only.
//
// Open() builds it hidden and runs the initialisation steps; RunModal() shows it and returns
// once the program is to end. The windows of the other dialogs are reached through the
// hooks below (one call each), so each dialog plugs in at one line.

#include <QMenu>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/GameServerRecord.h"
#include "app/MessageTarget.h"
#include "skin/CSkinDialog.h"
#include "ui/CExplorer.h"
#include "ui/CVMTrayIcon.h"
#include "ui/IBusyWindow.h"
#include "update/UpdateSession.h"
class QUrl;

namespace vm {

class CVelmoraDlg : public CSkinDialog {
  public:
    // Control ids.
    enum : int {
        IDC_NOT_LOGGED_IN = 1,
        IDC_LOGON = 2,
        IDC_REGISTER = 3,
        IDC_AVATAR = 6,
        IDC_USER_NAME = 7,
        IDC_USER_ID = 9,
        IDC_LOGOUT = 10,
        IDC_UPLOAD = 12,
        IDC_DOWNLOAD = 13,
        IDC_PROGRESS = 15,
        IDC_STATUS = 16,
        IDC_UPDATE = 17,
        IDC_CHANGE_LOG = 18,
        IDC_RUN_GAME = 19,
        IDC_LATENCY_CAPTION = 20,
        IDC_LATENCY = 21,
        IDC_ACCELERATOR = 22,
        IDC_NORMAL_MODE = 23,
        IDC_NO_EFFECTS = 24,
        IDC_GIFT_CODE = 25,
        IDC_FORUM = 26,
        IDC_SETTINGS = 27,
        IDC_MINIMISE = 28,
        IDC_CLOSE = 29,
        IDC_RIGHTS = 30,
        IDC_CHECKSUM = 31,
        IDC_COPY_CHECKSUM = 32,
    };
    static constexpr UINT kTrayIconId = 1;

    CVelmoraDlg();
    ~CVelmoraDlg() override;

    // Builds the window hidden and runs the initialisation steps.
    bool Open();
    // Shows the window and runs until the program is to end.
    int RunModal();

    // The target workers report to.
    TargetRef Target() const { return m_target; }

    // State, for the tray, the tests and the gallery.
    bool IsUpdateIdle() const { return m_updateIdle; }
    bool IsAutoStarted() const { return m_autoStarted; }
    bool IsRunGameTimerPending() const { return m_runGamePending; }
    bool IsPageHandled() const { return m_pageHandled; }
    bool IsPageFailed() const { return m_pageFailed; }
    const std::string& SelfChecksum() const { return m_selfChecksum; }
    bool IsHiddenToTray() const;
    CExplorer& Explorer() { return m_explorer; }
    CVMTrayIcon& TrayIcon() { return *m_trayIcon; }
    QMenu* CommandMenu() const { return m_commandMenu; }
    // The embedded page's address on the embed server.
    static QUrl EmbedPageUrl();

    // Window behaviour the tray and the commands share.
    void HideToTray();
    void RestoreFromTray();
    void ExitWithConfirmation();

    // The other windows. Each does what the main window does around its dialog and calls the
    // dialog at one line.
    virtual void OpenLogon();
    virtual void OpenSettings();
    virtual void RunWizard();
    // true: isolate the unknown add-ons; false: keep them.
    virtual bool AskDeleteUnknown(const std::vector<std::string>& candidates,
                                  const std::vector<std::string>& listPaths);
    virtual void AskCloseMeaning();
    // IDYES (6) to exit.
    virtual int ConfirmExit();
    virtual void OpenChangeLog();
    virtual void OpenExport();
    virtual void OpenImport();
    virtual void OpenCombatLog();
    virtual void OpenAbout();

    void Notify(UINotify& notify) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  protected:
    // Seams the tests replace: message boxes, the browser, the workers and the desktop.
    virtual int ShowBox(std::string_view text, std::string_view title, UINT style);
    virtual void ShowPlainBox(const std::string& text);
    virtual void OpenUrl(const std::string& url);
    // Starts the update session's scan and run (tests count instead).
    virtual void StartUpdateWorkers();
    virtual void StartGameWorker();
    virtual void StartConfigWorker(bool upload);
    virtual bool IsTrayAvailable() const;
    virtual std::unique_ptr<CVMTrayIcon> MakeTrayIcon();
    virtual std::unique_ptr<IBusyWindow> MakeBusy();
    virtual void PostQuit();
    virtual bool IsLoggedIn() const;
    // false skips the embedded page (the gallery, which paints without one).
    virtual bool WantsEmbeddedPage() const { return true; }

    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void BuildControls();
    void SetSharedSkinValues();
    void AutoLogin();
    void InitialiseSteps();
    void DecideAutomaticUpdate();
    void StartUpdate(UpdateSession::Kind kind);
    void OnUpdateButton();
    void OnUpdateEnd();
    void RunGame();
    void SetStatus(const std::string& text);
    void StartLatency();
    LRESULT RefreshLoginState();
    LRESULT OnAvatarReady(WPARAM uid, const std::string& path);
    void Logout();
    void TransferConfig(bool upload);
    void OnConfigResult(UINT msg, const std::optional<std::string>& reason);
    void OnPageLoaded(const QUrl& url, bool ok);
    void OnCommand(int id);
    void OnClose();
    void OfferShortcut();
    void CopyChecksum();
    void SetGraphicsMode(bool effectsOff);
    void SetUpdateFace(bool idle);
    void ShowSystemMenu(QPoint global);
    void BuildMenus();
    void UpdateMenuStates();
    void SetRunGameTimer(bool on);
    void OpenSite(const std::string& origin, const std::string& path);
    bool InDragBand(QPoint client) const;
    void OnTaskbarMinimise();

    CExplorer m_explorer;
    std::unique_ptr<CVMTrayIcon> m_trayIcon;
    QPointer<QMenu> m_trayMenu;
    QPointer<QMenu> m_commandMenu;
    std::unique_ptr<IBusyWindow> m_busyDlg;
    std::shared_ptr<MessageTarget> m_target;
    std::unique_ptr<UpdateSession> m_session;  // every update run starts here
    std::unique_ptr<QObject> m_stateWatcher;
    std::optional<GameServerRecord> m_currentServer;
    std::string m_selfChecksum;
    bool m_pageFailed = false;
    bool m_pageHandled = false;
    bool m_autoStarted = false;
    bool m_updateIdle = true;
    bool m_runGamePending = false;
    bool m_selfMinimising = false;
    std::uint32_t m_selfMinimiseUntil = 0;
    bool m_ended = false;
};

// The program's main window runner: the window, modal, as the application's main target,
// until the program is to end.
void RunVelmoraMainWindow();

// The checksum label's value: the file's MD5 in upper case, "未知" when it cannot be read.
std::string SelfChecksumText(const std::string& executable);

}  // namespace vm
