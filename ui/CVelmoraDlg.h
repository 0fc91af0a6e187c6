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

#include "app/MessageTarget.h"
#include "skin/CSkinDialog.h"
#include "ui/CExplorer.h"
#include "ui/CVMTrayIcon.h"
#include "ui/IBusyWindow.h"
#include "update/MainController.h"
#include "update/UpdateSession.h"
class QUrl;

namespace vm {

// The window shows what its controller (update/MainController.h) decides; the update session
// runs the updates. Buttons, the command menu and the tray menu all go through one table of
// commands (kCommands in the .cpp).
class CVelmoraDlg : public CSkinDialog, protected IMainView, protected IMainAccount {
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

    // Builds the window hidden, makes it the application's main target and runs the
    // initialisation steps.
    bool Open();
    // Shows the window and runs until the program is to end.
    int RunModal();

    // The target workers report to.
    TargetRef Target() const { return m_target; }

    // State, for the tray, the tests and the gallery.
    bool IsUpdateIdle() const { return m_controller.IsUpdateIdle(); }
    bool IsAutoStarted() const { return m_controller.IsAutoStarted(); }
    bool IsRunGameTimerPending() const { return m_controller.IsRunGameTimerPending(); }
    bool IsPageHandled() const { return m_controller.IsPageHandled(); }
    bool IsPageFailed() const { return m_controller.IsPageFailed(); }
    const std::string& SelfChecksum() const { return m_selfChecksum; }
    bool IsHiddenToTray() const;
    CExplorer& Explorer() { return m_explorer; }
    CVMTrayIcon& TrayIcon() { return *m_trayIcon; }
    QMenu* CommandMenu() const { return m_commandMenu; }
    MainController& Controller() { return m_controller; }
    // The embedded page's address on the embed server.
    static QUrl EmbedPageUrl();

    // Window behaviour the tray and the commands share.
    void HideToTray() override;
    void RestoreFromTray();
    void ExitWithConfirmation() { m_controller.ExitWithConfirmation(); }

    // The other windows. Each does what the main window does around its dialog and calls the
    // dialog at one line.
    virtual void OpenLogon();
    virtual void OpenSettings();
    virtual void RunWizard();
    // true: isolate the unknown add-ons; false: keep them.
    bool AskDeleteUnknown(const std::vector<std::string>& candidates,
                          const std::vector<std::string>& listPaths) override;
    void AskCloseMeaning() override;
    // IDYES (6) to exit.
    int ConfirmExit() override;
    virtual void OpenChangeLog();
    virtual void OpenExport();
    virtual void OpenImport();
    virtual void OpenCombatLog();
    virtual void OpenAbout();

    void Notify(UINotify& notify) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  protected:
    // Seams the tests replace: message boxes, the browser, the workers and the desktop.
    int ShowBox(std::string_view text, std::string_view title, UINT style) override;
    void ShowPlainBox(const std::string& text) override;
    virtual void OpenUrl(const std::string& url);
    // The logon dialog, modal; IDOK after a login.
    virtual int RunLogonDialog();
    // Starts the update session's scan and run (tests count instead).
    virtual void StartUpdateWorkers();
    void StartGameWorker() override;
    void StartConfigWorker(bool upload) override;
    void StartAvatarWorker() override;
    void StartPingWorker(const GameServerRecord& record) override;
    virtual bool IsTrayAvailable() const;
    virtual std::unique_ptr<CVMTrayIcon> MakeTrayIcon();
    virtual std::unique_ptr<IBusyWindow> MakeBusy();
    void PostQuit() override;
    bool IsLoggedIn() const override;
    // false skips the embedded page (the gallery, which paints without one).
    virtual bool WantsEmbeddedPage() const { return true; }

    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // IMainView, the rest.
    void ShowLoginState(bool loggedIn, const std::string& userName) override;
    void ShowAccount(const std::string& userName, std::uint64_t uid,
                     const std::string& avatarFile) override;
    void ShowLatency(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void SetUpdateFace(bool idle) override;
    void EnableUpdate(bool on) override;
    void EnableRunGame(bool on) override;
    void SetRunGameTimer(bool on) override;
    void ReloadPage() override;
    void ShowTransferBusy(const std::optional<std::string>& text) override;
    bool LauncherExists() override;
    void RemoveLauncher() override;
    int CreateLaunchers() override;
    // IMainAccount, the passport's.
    std::string UserName() const override;
    bool HasSession() const override;
    bool LogInWithStoredCredentials(int cookieSeconds) override;
    void LogOut() override;

  private:
    struct Command;
    static const Command* FindCommand(int command, int control);

    void BuildControls();
    void InitialiseSteps();
    void RunCommand(const Command& command);
    void OnCommand(int id);
    void OnClose();
    void CopyChecksum();
    void ShowSystemMenu(QPoint global);
    void BuildMenus();
    void UpdateMenuStates();
    void SetControlText(int id, const std::string& text);
    void EnableControls(std::initializer_list<int> ids, bool on);
    bool InDragBand(QPoint client) const;
    void OnTaskbarMinimise();
    void ToggleWindow();
    void Minimise();
    void UploadGameData();
    void OpenIsolatedAddOns();

    CExplorer m_explorer;
    std::unique_ptr<CVMTrayIcon> m_trayIcon;
    QPointer<QMenu> m_trayMenu;
    QPointer<QMenu> m_commandMenu;
    std::unique_ptr<IBusyWindow> m_busyDlg;
    std::shared_ptr<MessageTarget> m_target;
    std::unique_ptr<UpdateSession> m_session;  // every update run starts here
    std::unique_ptr<QObject> m_stateWatcher;
    MainController m_controller{*this, *this};
    std::string m_selfChecksum;
    bool m_selfMinimising = false;
    std::uint32_t m_selfMinimiseUntil = 0;
    bool m_ended = false;
};

// The program's main window runner: the window, modal, as the application's main target
// (from its Open() on), until the program is to end.
void RunVelmoraMainWindow();

}  // namespace vm
