// The plain windows: every page of the setup wizard, the export and import dialogs and the
// combat-log dialog (with its rows, and with an upload running), as PNG files.

#include "GalleryWizard.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <string>

#include "GalleryOutput.h"
#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "ui/CDlgExport.h"
#include "ui/CDlgImport.h"
#include "ui/CDlgUploadCombatLog.h"
#include "ui/CWizardSheet.h"

namespace vm {

namespace {

namespace fs = std::filesystem;

int Shoot(QWidget& w, const QString& out, const QString& name) {
    w.show();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    (void)out;
    return gallery::SavePicture(gallery::GrabWindow(&w), name);
}

}  // namespace

int GalleryWizard(const QString& out) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const fs::path root = tmp.path().toStdString();
    const fs::path game = root / "Tovrin";
    fs::create_directories(root / "program");
    fs::create_directories(game / "Account");
    for (const char* account : {"Alice", "Bob", "小明"})
        fs::create_directories(game / "Account" / account);
    if (!platform::WriteFileAtomic(game / "Tovrin.exe", "MZ")) return 1;

    CVelmoraApp& app = theApp();
    app.SetProgramDir(root / "program");
    app.WriteProfile(settings::kPathType, 1);
    app.WriteProfile(settings::kCustomPath, (game / "Tovrin.exe").string());
    app.WriteProfile(settings::kVersion, "tvrn-classic");
    app.PublishedState().sets.Set({"TVRN", "TVRN-Classic", "TVRN-PTR"});
    app.Game().folder.Set({});
    app.Game().executable.Set({});

    int failures = 0;
    {
        CWizardSheet wizard;
        const char* names[] = {"wizard-1-welcome.png", "wizard-2-find-game.png",
                               "wizard-3-version.png", "wizard-4-update.png",
                               "wizard-5-finish.png"};
        for (int page = 0; page < 5; ++page) {
            failures += Shoot(wizard, out, names[page]);
            wizard.next();
        }
    }
    {
        CDlgExport dlg;
        auto* list = dlg.findChild<QTreeWidget*>(QString::number(CDlgExport::kListId));
        if (list && list->topLevelItemCount() > 0) list->setCurrentItem(list->topLevelItem(0));
        failures += Shoot(dlg, out, "dialog-export.png");
    }
    {
        CDlgImport dlg;
        dlg.findChild<QLineEdit*>(QString::number(CDlgImport::kPathId))
            ->setText(QString::fromStdString((root / "Alice.backup.wwc").string()));
        dlg.findChild<QLineEdit*>(QString::number(CDlgImport::kAccountId))
            ->setText(QStringLiteral("Alice"));
        failures += Shoot(dlg, out, "dialog-import.png");
    }
    app.CombatLog().pieces.Set({
        {"6/14 20:01:12.250", "6/14 20:06:40.875", "熔火之心·拉格纳罗斯", true, false, {}},
        {"6/14 20:31:02.000", "6/14 20:33:59.500", "黑翼之巢·奈法利安", false, false, {}},
        {"6/15 21:10:45.125", "6/15 21:18:03.750", "安其拉·克苏恩", true, false, {}},
    });
    {
        CDlgUploadCombatLog dlg;
        failures += Shoot(dlg, out, "dialog-combat-log.png");
        // The worker's messages, as an upload in progress sends them.
        if (auto target = dlg.Target().lock()) {
            target->Post(WM_VM_LOG_STATUS, 0, 0, std::string("上传日志……"));
            target->Post(WM_VM_LOG_PROGRESS, 42, 99);
        }
        failures += Shoot(dlg, out, "dialog-combat-log-running.png");
    }
    app.CombatLog().pieces.Set({});
    return failures;
}

}  // namespace vm
