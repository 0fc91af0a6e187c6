#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Guarded.h"
#include "app/IStartupUi.h"
#include "app/ManualResetEvent.h"
#include "app/MessageTarget.h"
#include "app/ProgramLocations.h"
#include "app/Prompter.h"
#include "app/SettingsKeys.h"
#include "platform/IniFile.h"
#include "platform/SingleInstance.h"

namespace vm {

// One recorded combat-log piece: listed by the combat-log dialog, filled by the log worker.
struct COMBAT_LOG_PIECE {
    std::string startTime;  // "M/D HH:MM:SS.mmm", the stamp of the game's combat log lines
    std::string endTime;
    std::string fightName;
    bool success = false;   // the kill succeeded
    bool selected = false;  // chosen for upload in the dialog
    std::string buffer;     // the piece's log lines
};

// Game data waiting for the data upload: three pieces, then named ones in name order.
struct CollectedData {
    std::string first, second, third;
    std::map<std::string, std::string> pieces;
};

// The chosen mirror's addresses. Written by the mirror choice and the start-up steps on the UI
// thread (or by the command line) before a worker starts; read by the update workers.
struct Mirror {
    Guarded<std::string> infoUrl;
    Guarded<std::string> baseUrl;
    Guarded<std::string> checksumUrl;
};

// What the mirror published, as last fetched. Written by the update-information job and the
// update run (worker threads); read by the windows, the command line and later runs. The
// expected checksums are first loaded from the profile at start-up.
struct Published {
    Guarded<std::string> expectedInfoChecksum;
    Guarded<std::string> expectedListChecksum;
    Guarded<std::map<std::string, std::string>> updateInfo;
    // Add-on set names in publication order, and each set's folder on the mirror.
    Guarded<std::vector<std::string>> sets;
    Guarded<std::map<std::string, std::string>> setFolders;
};

// The game folder (with its trailing separator) and executable, cached by the game-folder step
// (app/GameFolder.h) on whichever thread first asks; emptied by the settings and the wizard.
struct GameLocation {
    Guarded<std::string> folder;
    Guarded<std::string> executable;
};

// Identity sent to the passport and statistics services; written by the network services.
struct ServiceIdentity {
    static constexpr char kDefaultGameHost[] = "tovrin.example";
    Guarded<std::string> machineId;
    // Publisher's default game host for the game-server list.
    Guarded<std::string> gameHost{std::string(kDefaultGameHost)};
};

// How the main window's update runs are started and committed. The refresh request is set by
// the update button and taken by the run; the commit gate is opened by the window once its
// page has loaded (or its timer ran out) and waited on by the run before it installs anything.
struct RunControl {
    std::atomic<int> refreshRequest{0};
    ManualResetEvent commitGate;
};

// Combat-log pieces and collected game data: filled by the combat-log worker, listed and
// cleared by the combat-log dialog (UI thread).
struct CombatLogState {
    Guarded<std::vector<COMBAT_LOG_PIECE>> pieces;
    Guarded<CollectedData> collectedData;
};

// The application object: one per process, never destroyed (workers may outlive the exit
// steps). Owns the settings access and the state the workers share. Profile operations and the
// Guarded members are safe from any thread; the start-up and exit steps run on the UI thread.
class CVelmoraApp {
  public:
    static CVelmoraApp& Instance();

    // Start-up and shutdown. Run performs the start-up steps, runs the main window and the
    // exit steps, and returns the process exit status.
    int Run(int argc, char** argv, IStartupUi& ui);
    bool InitInstance(int argc, char** argv, IStartupUi& ui);
    int ExitInstance();

    // Makes dir the program folder and decides where the program's own files go
    // (app/ProgramLocations.h): "Velmora.ini" beside the program for a portable copy, in the
    // user's XDG folders for a packaged install. Start-up uses the executable's folder; the
    // command line and tests may name another. SetLocations takes a decision made elsewhere.
    void SetProgramDir(const std::filesystem::path& dir);
    void SetLocations(const ProgramLocations& locations);
    std::filesystem::path ProgramDir() const { return m_programDir.Get(); }
    std::filesystem::path ProfilePath() const { return m_profilePath.Get(); }
    ProgramLocations Locations() const { return m_locations.Get(); }

    // The profile, one entry of app/SettingsKeys.h at a time, each read with its default.
    int GetProfile(const settings::IntKey& key) const;
    std::string GetProfile(const settings::StringKey& key) const;
    std::optional<std::vector<std::uint8_t>> GetProfile(const settings::BinaryKey& key) const;
    bool WriteProfile(const settings::IntKey& key, int value);
    bool WriteProfile(const settings::StringKey& key, const std::string& value);
    bool WriteProfile(const settings::BinaryKey& key, const std::vector<std::uint8_t>& bytes);

    // The six profile operations underneath.
    int GetProfileInt(const std::string& section, const std::string& key, int def) const;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& def = {}) const;
    bool WriteProfileInt(const std::string& section, const std::string& key, int value);
    bool WriteProfileString(const std::string& section, const std::string& key,
                            const std::string& value);
    std::optional<std::vector<std::uint8_t>> GetProfileBinary(const std::string& section,
                                                              const std::string& key) const;
    bool WriteProfileBinary(const std::string& section, const std::string& key,
                            const std::vector<std::uint8_t>& bytes);

    // The main window's message target, once it exists.
    void SetMainTarget(const std::shared_ptr<MessageTarget>& target) { m_mainTarget.Set(target); }
    TargetRef MainTarget() const { return m_mainTarget.Get(); }

    // Who answers worker message boxes.
    void SetPrompter(std::shared_ptr<Prompter> p) { m_prompter.Set(std::move(p)); }
    // Shows a message box through the prompter; IDOK when none is set.
    int Prompt(const std::string& text, const std::string& caption, unsigned style) const;

    // Sends a statistics action (0 started, 1 game started, 2 game exited, 3 exiting,
    // 4 periodic, 5 login). The network layer installs the sender.
    void SetStatisticStarter(std::function<void(int)> starter) {
        m_statisticStarter.Set(std::move(starter));
    }
    void StartStatistic(int action) const;

    // Start-up step that resolves the game folder; the game-folder module installs it.
    void SetGameFolderResolver(std::function<void()> resolver) {
        m_gameFolderResolver.Set(std::move(resolver));
    }

    // Shared state, grouped by who writes it. Each Guarded value is read as a copy and replaced
    // whole under its own mutex, so any thread may read it; the atomics likewise. Tests start
    // from ResetSharedState().
    Mirror& MirrorState() { return m_mirror; }
    Published& PublishedState() { return m_published; }
    GameLocation& Game() { return m_game; }
    ServiceIdentity& Services() { return m_services; }
    RunControl& Runs() { return m_runs; }
    CombatLogState& CombatLog() { return m_combatLog; }

    // The one reset point for tests: every shared value above, the main target, the prompter,
    // the process-wide flags and events (app/Globals.h) back to how a fresh process starts, and
    // the system clock back in place. The profile and the program folder stay. Call it while
    // no worker runs.
    void ResetSharedState();

    // Process state, for tests.
    enum class Stage { Starting, Running, Exiting };
    Stage GetStage() const { return m_stage.load(); }

  private:
    CVelmoraApp() = default;

    Guarded<std::filesystem::path> m_programDir;
    Guarded<std::filesystem::path> m_profilePath;
    Guarded<ProgramLocations> m_locations;
    Guarded<std::shared_ptr<platform::IniFile>> m_ini;
    Guarded<TargetRef> m_mainTarget;
    Guarded<std::shared_ptr<Prompter>> m_prompter;
    Guarded<std::function<void(int)>> m_statisticStarter;
    Guarded<std::function<void()>> m_gameFolderResolver;
    std::unique_ptr<platform::SingleInstance> m_instance;
    std::atomic<Stage> m_stage{Stage::Starting};
    Mirror m_mirror;
    Published m_published;
    GameLocation m_game;
    ServiceIdentity m_services;
    RunControl m_runs;
    CombatLogState m_combatLog;
    bool m_startStatisticSent = false;
};

// Command-line switches of the former COM server, recognised with '/' or '-' in any case.
struct CommandLineInfo {
    bool embedding = false;   // Embedding or Automation
    bool unregister = false;  // Unregserver or Unregister
    bool regserver = false;   // Regserver or Register
    static CommandLineInfo Parse(int argc, char** argv);
};

inline CVelmoraApp& theApp() {
    return CVelmoraApp::Instance();
}

}  // namespace vm
