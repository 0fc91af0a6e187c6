#include "ui/SettingChoices.h"

#include <filesystem>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"

namespace vm {

namespace {
constexpr char kUpdate[] = "Update";
constexpr char kPath[] = "Path";
constexpr char kMisc[] = "Misc";
}  // namespace

SettingChoices SettingChoices::Load() {
    CVelmoraApp& app = theApp();
    SettingChoices c;
    c.autoUpdate = app.GetProfileInt(kUpdate, "AutoUpdate", 1) != 0;
    c.onceEveryDay = app.GetProfileInt(kUpdate, "OnceEveryDay", 0) != 0;
    c.autoRun = app.GetProfileInt(kUpdate, "AutoRun", 0) != 0;
    const int server = app.GetProfileInt(kUpdate, "Server", 0);
    c.server = server == 0 || server == 1 ? 1 : 2;
    c.customPath = app.GetProfileInt(kPath, "PathType", 0) != 0;
    if (c.customPath) c.path = app.GetProfileString(kPath, "CustomPath", "");
    c.deleteMode = app.GetProfileInt(kUpdate, "DeleteMode", 0);
    if (c.deleteMode != 0 && c.deleteMode != 1) c.deleteMode = 2;
    const std::string close = app.GetProfileString(kMisc, "CloseMeanMin", "true");
    c.closeMeaning = close == "true"    ? CloseMeaning::Minimise
                     : close == "false" ? CloseMeaning::Exit
                                        : CloseMeaning::Ask;
    c.confirmExit = app.GetProfileInt(kMisc, "ConfirmExit", 1) == 1;
    return c;
}

void SettingChoices::SaveUpdateOptions() const {
    CVelmoraApp& app = theApp();
    if (autoUpdate) {
        app.WriteProfileInt(kUpdate, "AutoUpdate", 1);
        app.WriteProfileInt(kUpdate, "OnceEveryDay", onceEveryDay ? 1 : 0);
    } else {
        app.WriteProfileInt(kUpdate, "AutoUpdate", 0);
    }
    app.WriteProfileInt(kUpdate, "AutoRun", autoRun ? 1 : 0);
    app.WriteProfileInt(kUpdate, "Server", server == 1 ? 1 : 2);
}

std::string GamePathProblem(const std::string& path) {
    if (path.empty()) return "<c #F4E9FF>路径不能为空，请指定Tovrin的主运行文件。</c>";
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) return "<c #F4E9FF>指定的文件不存在。请重新指定。</c>";
    if (std::filesystem::is_directory(status))
        return "<c #F4E9FF>指定的文件是目录。请重新指定。</c>";
    return {};
}

std::string SettingChoices::SaveGameLocation() const {
    CVelmoraApp& app = theApp();
    if (customPath) {
        if (std::string problem = GamePathProblem(path); !problem.empty()) return problem;
        app.WriteProfileInt(kPath, "PathType", 1);
        app.WriteProfileString(kPath, "CustomPath", path);
    } else {
        app.WriteProfileInt(kPath, "PathType", 0);
    }
    // The next use resolves the folder and the executable from the new settings.
    app.Game().folder.Set("");
    app.Game().executable.Set("");
    CacheGameFolder();
    return {};
}

void SettingChoices::SaveMisc() const {
    CVelmoraApp& app = theApp();
    app.WriteProfileInt(kUpdate, "DeleteMode", deleteMode == 2 ? 2 : deleteMode == 1 ? 1 : 0);
    app.WriteProfileString(kMisc, "CloseMeanMin",
                           closeMeaning == CloseMeaning::Minimise ? "true"
                           : closeMeaning == CloseMeaning::Exit   ? "false"
                                                                  : "tip");
    app.WriteProfileInt(kMisc, "ConfirmExit", confirmExit ? 1 : 0);
}

}  // namespace vm
