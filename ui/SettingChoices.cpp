#include "ui/SettingChoices.h"

#include <filesystem>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"

namespace vm {

SettingChoices SettingChoices::Load() {
    CVelmoraApp& app = theApp();
    SettingChoices c;
    c.autoUpdate = app.GetProfile(settings::kAutoUpdate) != 0;
    c.onceEveryDay = app.GetProfile(settings::kOnceEveryDay) != 0;
    c.autoRun = app.GetProfile(settings::kAutoRun) != 0;
    const int server = app.GetProfile(settings::kServer);
    c.server = server == 0 || server == 1 ? 1 : 2;
    c.customPath = app.GetProfile(settings::kPathType) != 0;
    if (c.customPath) c.path = app.GetProfile(settings::kCustomPath);
    c.deleteMode = app.GetProfile(settings::kDeleteMode);
    if (c.deleteMode != 0 && c.deleteMode != 1) c.deleteMode = 2;
    const std::string close = app.GetProfile(settings::kCloseMeanMinInSettings);
    c.closeMeaning = close == "true"    ? CloseMeaning::Minimise
                     : close == "false" ? CloseMeaning::Exit
                                        : CloseMeaning::Ask;
    c.confirmExit = app.GetProfile(settings::kConfirmExit) == 1;
    return c;
}

void SettingChoices::SaveUpdateOptions() const {
    CVelmoraApp& app = theApp();
    if (autoUpdate) {
        app.WriteProfile(settings::kAutoUpdate, 1);
        app.WriteProfile(settings::kOnceEveryDay, onceEveryDay ? 1 : 0);
    } else {
        app.WriteProfile(settings::kAutoUpdate, 0);
    }
    app.WriteProfile(settings::kAutoRun, autoRun ? 1 : 0);
    app.WriteProfile(settings::kServer, server == 1 ? 1 : 2);
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
        app.WriteProfile(settings::kPathType, 1);
        app.WriteProfile(settings::kCustomPath, path);
    } else {
        app.WriteProfile(settings::kPathType, 0);
    }
    // The next use resolves the folder and the executable from the new settings.
    app.Game().folder.Set("");
    app.Game().executable.Set("");
    CacheGameFolder();
    return {};
}

void SettingChoices::SaveMisc() const {
    CVelmoraApp& app = theApp();
    app.WriteProfile(settings::kDeleteMode, deleteMode == 2 ? 2 : deleteMode == 1 ? 1 : 0);
    app.WriteProfile(settings::kCloseMeanMin, closeMeaning == CloseMeaning::Minimise ? "true"
                                              : closeMeaning == CloseMeaning::Exit   ? "false"
                                                                                     : "tip");
    app.WriteProfile(settings::kConfirmExit, confirmExit ? 1 : 0);
}

}  // namespace vm
