#include "GalleryMainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "GalleryOutput.h"
#include "app/CVelmoraApp.h"
#include "app/GameServerRecord.h"
#include "app/messages.h"
#include "skin/CUILabel.h"
#include "ui/CAboutDlg.h"
#include "ui/CVelmoraDlg.h"
#include "ui/WindowIds.h"

namespace vm {

namespace {

// The window without its news page, workers, questions or tray; the account is whatever the
// picture needs.
class GalleryWindow : public CVelmoraDlg {
  public:
    bool loggedIn = false;

  protected:
    int ShowBox(std::string_view, std::string_view, UINT) override { return IDNO; }
    void ShowPlainBox(const std::string&) override {}
    void OpenUrl(const std::string&) override {}
    void StartUpdateWorkers() override {}
    void StartGameWorker() override {}
    void StartConfigWorker(bool) override {}
    void PostQuit() override {}
    bool IsLoggedIn() const override { return loggedIn; }
    bool WantsEmbeddedPage() const override { return false; }
};

// The window as the screen shows it, with a stand-in for the news page the browser draws.
QImage Capture(QWidget* w, bool newsPage = true) {
    QImage shot = gallery::RenderWindow(w);
    if (newsPage) {
        QPainter p(&shot);
        const QRect page(5, 137, 791, 305);
        p.fillRect(page, QColor(0x3B, 0x26, 0x5C));
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(22);
        p.setFont(font);
        p.setPen(QColor(0xF4, 0xE9, 0xFF));
        p.drawText(page.adjusted(24, 20, -24, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromUtf8("插件动态"));
        font.setPixelSize(14);
        p.setFont(font);
        p.setPen(QColor(0xD8, 0xC8, 0xF0));
        const char* lines[] = {"界面插件合集已更新到最新版本", "更新服务器维护完成",
                               "新手指南：如何备份插件配置"};
        for (int i = 0; i < 3; ++i)
            p.drawText(QRect(page.left() + 24, page.top() + 70 + i * 30, 600, 24),
                       Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(lines[i]));
    }
    return shot;  // already cut to the window's outline
}

int Save(const QImage& image, const QString&, const QString& name) {
    return gallery::SavePicture(image, name);
}

// A made-up portrait in place of the avatar service's picture.
QImage Avatar() {
    QImage a(120, 120, QImage::Format_ARGB32_Premultiplied);
    a.fill(QColor(0x4A, 0x2F, 0x78));
    QPainter p(&a);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF2, 0xC8, 0x9E));
    p.drawEllipse(QRect(35, 20, 50, 55));
    p.setBrush(QColor(0xB8, 0x5C, 0xD6));
    p.drawEllipse(QRect(15, 80, 90, 80));
    return a;
}

void SetText(CVelmoraDlg& w, int id, const std::string& text) {
    if (CUIControl* c = w.FindControl(id)) c->SetText(text);
}

}  // namespace

int GalleryMainWindow(const QString& out) {
    QTemporaryDir folder;
    if (!folder.isValid()) return 1;
    CVelmoraApp& app = theApp();
    app.SetProgramDir(folder.path().toStdString());
    app.WriteProfile(settings::kFirstRun, 0);
    app.WriteProfile(settings::kNotifyShortcut2, 1);
    GameServerRecord server;
    server.displayName = "官方服务器TVRN";
    server.host = "127.0.0.1";
    server.port = 1;
    WriteRealmsFile(folder.filePath("Velmora.realms").toStdString(), {server});
    // The game-server list worker writes the same list again.
    app.PublishedState().sets.Set({server.displayName});
    app.Services().gameHost.Set(server.host);
    int failures = 0;
    {
        GalleryWindow w;
        if (!w.Open()) return 1;
        failures += Save(Capture(w.Window()), out, "main-window-logged-out.png");
    }
    {
        GalleryWindow w;
        w.loggedIn = true;
        if (!w.Open()) return 1;
        SetText(w, CVelmoraDlg::IDC_USER_NAME, "星落之夜");
        SetText(w, CVelmoraDlg::IDC_USER_ID, "ID: 10086");
        if (auto* avatar = static_cast<CUILabel*>(w.FindControl(CVelmoraDlg::IDC_AVATAR)))
            avatar->SetImage(Avatar());
        failures += Save(Capture(w.Window()), out, "main-window-logged-in.png");
    }
    {
        GalleryWindow w;
        if (!w.Open()) return 1;
        w.SendMessage(WM_COMMAND, ID_UPDATE_BUTTON, 0);
        const std::string status = "更新文件：CombatText/part3.lua";
        w.SendMessage(WM_VM_TOTAL_PROGRESS, 3, 6);
        w.SendMessage(WM_VM_STATUS, reinterpret_cast<WPARAM>(&status), 0);
        failures += Save(Capture(w.Window()), out, "main-window-updating.png");
    }
    {
        GalleryWindow w;
        if (!w.Open()) return 1;
        const std::string status = "更新完成。";
        w.SendMessage(WM_VM_TOTAL_PROGRESS, 6, 6);
        w.SendMessage(WM_VM_STATUS, reinterpret_cast<WPARAM>(&status), 0);
        GameServerRecord measured = server;
        measured.latency = 32;
        w.SendMessage(WM_VM_PING_RESULT, reinterpret_cast<WPARAM>(&measured), 0);
        failures += Save(Capture(w.Window()), out, "main-window-idle-latency.png");
    }
    {
        CAboutDlg about;
        if (about.Open(nullptr))
            failures += Save(Capture(about.Window(), false), out, "about-box.png");
    }
    return failures;
}

}  // namespace vm
