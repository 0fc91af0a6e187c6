// The program's skinned dialogs as the player meets them: the logon empty and with stored
// credentials, each settings page, the unknown add-on question collapsed and expanded, both
// exit questions and the change log scrolled down a long text.

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>

#include "GalleryOutput.h"
#include "app/CVelmoraApp.h"
#include "net/Passport.h"
#include "skin/CSkinEdit.h"
#include "skin/CUIPageSheet.h"
#include "skin/NativeWindow.h"
#include "ui/CChangeLogDialog.h"
#include "ui/CDlgConfirmCloseBtnMean.h"
#include "ui/CDlgConfirmExit.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/CDlgLogon.h"
#include "ui/CSettingDialog.h"
#include "update/UpdateInfo.h"

namespace vm {

namespace {

struct Out {
    QString dir;
    int failures = 0;

    void Save(CSkinDialog& dialog, const QString& name) {
        dialog.ShowWindow(true, false);
        QCoreApplication::processEvents();
        failures += gallery::SavePicture(gallery::RenderWindow(dialog.Window()), name);
    }
};

void Touch(const std::filesystem::path& p) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

}  // namespace

int GalleryDialogs(const QString& outDir) {
    Out out{outDir};
    QTemporaryDir program;
    CVelmoraApp& app = theApp();
    app.SetProgramDir(program.path().toStdString());

    {
        CDlgLogon logon;
        logon.Open(nullptr);
        out.Save(logon, "dialog-logon-empty.png");
    }
    ::setenv("XDG_DATA_HOME", (program.path() + "/data").toLocal8Bit().constData(), 1);
    StoreLogonChoice("tovrin_player", "secret", LogonChoice{true, true});
    {
        CDlgLogon logon;
        logon.Open(nullptr);
        out.Save(logon, "dialog-logon-stored.png");
    }

    app.WriteProfile(settings::kPathType, 1);
    app.WriteProfile(settings::kCustomPath, "/home/player/Games/Tovrin/Tovrin.exe");
    for (int page = 0; page < 3; ++page) {
        CSettingDialog settings;
        settings.Open(nullptr);
        settings.Sheet()->SelectItem(page);
        out.Save(settings, QString("dialog-settings-page%1.png").arg(page));
    }

    const std::filesystem::path game = std::filesystem::path(program.path().toStdString()) / "game";
    app.Game().folder.Set(game.string() + "/");
    std::vector<std::string> unknown;
    for (const char* f :
         {"Interface/Foo/Foo.lua", "Interface/Foo/Foo.toc", "Interface/Foo/art/a.tga",
          "Interface/BarMeter/core.lua", "Interface/notes.txt", "Interface/QuestHelper/qh.lua",
          "Interface/QuestHelper/data.lua"}) {
        Touch(game / f);
        unknown.push_back((game / f).string());
    }
    for (bool expanded : {false, true}) {
        CDlgDeleteConfirm question(unknown, {});
        question.Open(nullptr);
        if (expanded) {
            // The details button, pressed and released.
            const RECT r = question.FindControl(1010)->GetPos();
            const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            question.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
            question.SendMessage(WM_LBUTTONUP, 0, at);
        }
        out.Save(question, expanded ? "dialog-unknown-addons-expanded.png"
                                    : "dialog-unknown-addons-collapsed.png");
    }

    {
        CDlgConfirmCloseBtnMean close({});
        close.Open(nullptr);
        out.Save(close, "dialog-close-button.png");
        CDlgConfirmExit exit;
        exit.Open(nullptr);
        out.Save(exit, "dialog-exit.png");
    }

    std::string log;
    for (int i = 1; i <= 60; ++i)
        log += "v1.0" + std::to_string(i) + "：更新了插件 Foo、BarMeter 的界面与数据文件（第 " +
               std::to_string(i) + " 次修订）。\n";
    app.PublishedState().updateInfo.Set({{kInfoVersion, "1.019"}, {kInfoChangeLog, log}});
    {
        CChangeLogDialog changes;
        changes.Open(nullptr);
        QScrollBar* bar = changes.Viewer()->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        out.Save(changes, "dialog-changelog.png");
    }
    app.PublishedState().updateInfo.Set({});
    return out.failures;
}

}  // namespace vm
