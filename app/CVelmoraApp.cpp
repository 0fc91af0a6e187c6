#include "app/CVelmoraApp.h"

#include <strings.h>

#include <cstdio>
#include <filesystem>

#include "app/CrashFrame.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "app/messages.h"
#include "platform/Clock.h"
#include "platform/FileUtil.h"

namespace vm {

namespace {
constexpr char kInstanceName[] = "Velmora-TVRN";
constexpr char kUnguardedNote[] = "无法建立单实例锁，本次运行不检查是否已有另一个Velmora在运行。";
constexpr char kProfileName[] = "Velmora.ini";
}  // namespace

CVelmoraApp& CVelmoraApp::Instance() {
    // Never destroyed: detached workers may still use it while the process exits.
    static CVelmoraApp* app = new CVelmoraApp;
    return *app;
}

void CVelmoraApp::ResetSharedState() {
    m_game.folder.Set({});
    m_game.executable.Set({});
    m_mirror.infoUrl.Set({});
    m_mirror.baseUrl.Set({});
    m_mirror.checksumUrl.Set({});
    m_published.expectedInfoChecksum.Set({});
    m_published.expectedListChecksum.Set({});
    m_published.updateInfo.Set({});
    m_published.sets.Set({});
    m_published.setFolders.Set({});
    m_runs.refreshRequest.store(0);
    m_runs.commitGate.Reset();
    m_services.machineId.Set({});
    m_services.gameHost.Set(ServiceIdentity::kDefaultGameHost);
    m_combatLog.pieces.Set({});
    m_combatLog.collectedData.Set({});
    m_mainTarget.Set({});
    m_prompter.Set(nullptr);
    g_cancelUpdate.store(0);
    g_updateRunning.store(0);
    g_scanDone.Reset();
    g_infoReady.Reset();
    g_shortcutOffered.Reset();
    g_gameRunning.Reset();
    platform::SetClock({});
}

CommandLineInfo CommandLineInfo::Parse(int argc, char** argv) {
    CommandLineInfo info;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!a || (a[0] != '/' && a[0] != '-')) continue;
        const char* flag = a + 1;
        if (!strcasecmp(flag, "Embedding") || !strcasecmp(flag, "Automation"))
            info.embedding = true;
        else if (!strcasecmp(flag, "Unregserver") || !strcasecmp(flag, "Unregister"))
            info.unregister = true;
        else if (!strcasecmp(flag, "Regserver") || !strcasecmp(flag, "Register"))
            info.regserver = true;
    }
    return info;
}

void CVelmoraApp::SetProgramDir(const std::filesystem::path& dir) {
    SetLocations(LocateProgramFiles(dir));
}

void CVelmoraApp::SetLocations(const ProgramLocations& locations) {
    m_locations.Set(locations);
    m_programDir.Set(locations.programDir);
    m_profilePath.Set(locations.settingsDir / kProfileName);
    m_ini.Set(std::make_shared<platform::IniFile>(locations.settingsDir / kProfileName));
}

int CVelmoraApp::GetProfileInt(const std::string& section, const std::string& key, int def) const {
    auto ini = m_ini.Get();
    return ini ? ini->GetInt(section, key, def) : def;
}

std::string CVelmoraApp::GetProfileString(const std::string& section, const std::string& key,
                                          const std::string& def) const {
    auto ini = m_ini.Get();
    return ini ? ini->GetString(section, key, def) : def;
}

bool CVelmoraApp::WriteProfileInt(const std::string& section, const std::string& key, int value) {
    auto ini = m_ini.Get();
    return ini && ini->WriteInt(section, key, value);
}

bool CVelmoraApp::WriteProfileString(const std::string& section, const std::string& key,
                                     const std::string& value) {
    auto ini = m_ini.Get();
    return ini && ini->WriteString(section, key, value);
}

std::optional<std::vector<std::uint8_t>> CVelmoraApp::GetProfileBinary(
    const std::string& section, const std::string& key) const {
    auto ini = m_ini.Get();
    return ini ? ini->GetBinary(section, key) : std::nullopt;
}

bool CVelmoraApp::WriteProfileBinary(const std::string& section, const std::string& key,
                                     const std::vector<std::uint8_t>& bytes) {
    auto ini = m_ini.Get();
    return ini && ini->WriteBinary(section, key, bytes);
}

int CVelmoraApp::GetProfile(const settings::IntKey& key) const {
    return GetProfileInt(key.section, key.name, key.def);
}

std::string CVelmoraApp::GetProfile(const settings::StringKey& key) const {
    return GetProfileString(key.section, key.name, key.def);
}

std::optional<std::vector<std::uint8_t>> CVelmoraApp::GetProfile(
    const settings::BinaryKey& key) const {
    return GetProfileBinary(key.section, key.name);
}

bool CVelmoraApp::WriteProfile(const settings::IntKey& key, int value) {
    return WriteProfileInt(key.section, key.name, value);
}

bool CVelmoraApp::WriteProfile(const settings::StringKey& key, const std::string& value) {
    return WriteProfileString(key.section, key.name, value);
}

bool CVelmoraApp::WriteProfile(const settings::BinaryKey& key,
                               const std::vector<std::uint8_t>& bytes) {
    return WriteProfileBinary(key.section, key.name, bytes);
}

int CVelmoraApp::Prompt(const std::string& text, const std::string& caption, unsigned style) const {
    auto p = m_prompter.Get();
    return p ? p->Prompt(text, caption, style) : IDOK;
}

void CVelmoraApp::StartStatistic(int action) const {
    if (auto starter = m_statisticStarter.Get()) starter(action);
}

bool CVelmoraApp::InitInstance(int argc, char** argv, IStartupUi& ui) {
    int result = RunInCrashFrame([&]() -> int {
        // 1. The profile beside the executable, unless a program folder was named already;
        // a packaged install keeps it in the user's folders (made below, on first start).
        if (m_programDir.Get().empty()) SetProgramDir(platform::ExecutableDir());

        // 3-7. The former COM-server switches. There is no server to keep alive or register
        // here: they end the process without touching anything else.
        const CommandLineInfo cmd = CommandLineInfo::Parse(argc, argv);
        if (cmd.embedding) return 1;
        if (cmd.unregister || cmd.regserver) return 0;

        if (std::string why; !CreateLocationFolders(m_locations.Get(), &why)) {
            ui.ShowPlainMessage(why);
            return 0;
        }

        // 9. One copy per user; a second one brings the first to the front and ends.
        // A runtime folder that cannot hold the lock falls back to our private temporary
        // folder, and at worst the program runs unguarded: it never ends without a word.
        m_instance = std::make_unique<platform::SingleInstance>(
            kInstanceName, [] { return std::filesystem::path(TemporaryFolder()); });
        if (!m_instance->Acquire([this] { PostTo(MainTarget(), WM_VM_ACTIVATE, 0, 0); })) {
            m_instance.reset();
            return 0;
        }
        if (!m_instance->IsGuarded()) std::fprintf(stderr, "Velmora-TVRN: %s\n", kUnguardedNote);

        // 10. Shared skin images and message-box appearance.
        ui.InitSkinDefaults();

        // 12. Game folder and executable.
        if (auto resolve = m_gameFolderResolver.Get()) resolve();

        // 14. The mirror is chosen once, before anything else is shown.
        if (GetProfile(settings::kServer) == 0 && !ui.RunMirrorDialog()) return 0;

        // 15. Statistics: program started.
        StartStatistic(0);
        m_startStatisticSent = true;

        // 16. Expected checksums until the mirror says otherwise.
        m_published.expectedInfoChecksum.Set(GetProfile(settings::kInfoChecksum));
        m_published.expectedListChecksum.Set(GetProfile(settings::kListChecksum));

        // 17-18. Splash, then the main window until the program is to end.
        ui.RunSplash();
        m_stage = Stage::Running;
        ui.RunMainWindow();
        return 0;
    });
    return result != 0;
}

int CVelmoraApp::ExitInstance() {
    m_stage = Stage::Exiting;
    // Statistics: program exiting; nothing waits for it. Only a run that announced its start
    // announces its end (a second copy or a switch ends without network traffic).
    if (m_startStatisticSent) StartStatistic(3);
    m_mainTarget.Set(TargetRef());
    m_instance.reset();
    return 0;
}

int CVelmoraApp::Run(int argc, char** argv, IStartupUi& ui) {
    InitInstance(argc, argv, ui);
    return ExitInstance();
}

}  // namespace vm
