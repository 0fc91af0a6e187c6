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

#include "app/CVelmoraApp.h"
#include "net/Passport.h"
#include "skin/NativeWindow.h"
#include "ui/CDlgConfirmCloseBtnMean.h"
#include "ui/CDlgConfirmExit.h"
#include "ui/CDlgLogon.h"

namespace vm {

namespace {

struct Out {
    QString dir;
    int failures = 0;

    void Save(CSkinDialog& dialog, const QString& name) {
        QWidget* w = dialog.Window();
        dialog.ShowWindow(true, false);
        QCoreApplication::processEvents();
        QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::transparent);
        w->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        if (!w->mask().isEmpty()) {
            QImage cut(w->size(), QImage::Format_ARGB32_Premultiplied);
            cut.fill(Qt::transparent);
            QPainter p(&cut);
            p.setClipRegion(w->mask());
            p.drawImage(0, 0, shot);
            p.end();
            shot = cut;
        }
        const QString path = QDir(dir).filePath(name);
        if (!shot.save(path, "PNG")) {
            std::fprintf(stderr, "无法写入图片：%s\n", path.toLocal8Bit().constData());
            ++failures;
        }
    }
};

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

    {
        CDlgConfirmCloseBtnMean close({});
        close.Open(nullptr);
        out.Save(close, "dialog-close-button.png");
        CDlgConfirmExit exit;
        exit.Open(nullptr);
        out.Save(exit, "dialog-exit.png");
    }

    return out.failures;
}

}  // namespace vm
