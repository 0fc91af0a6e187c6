#include "GalleryStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

#include "GalleryOutput.h"
#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "ui/CDlgSelectServer.h"
#include "ui/CDlgSplash.h"
#include "ui/CDlgStatus.h"

namespace vm {

namespace {

int Save(const QImage& image, const QString&, const QString& name) {
    return gallery::SavePicture(image, name);
}

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// A made-up desktop to show what the rounded corners let through.
QImage Desktop(QSize size) {
    QImage desk(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&desk);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(0x2E, 0x6F, 0x8E));
    g.setColorAt(1, QColor(0xC8, 0xD8, 0x8A));
    p.fillRect(desk.rect(), g);
    return desk;
}

// An advertisement picture as a publisher would put it in "ad/".
bool WriteAdvertisement(const QString& path) {
    QImage ad(300, 110, QImage::Format_RGB32);
    QPainter p(&ad);
    QLinearGradient g(0, 0, 300, 110);
    g.setColorAt(0, QColor(0x8E, 0x3C, 0x9E));
    g.setColorAt(1, QColor(0x3A, 0x1C, 0x68));
    p.fillRect(ad.rect(), g);
    p.setPen(QColor(0xFF, 0xE6, 0xA0));
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(26);
    p.setFont(font);
    p.drawText(ad.rect(), Qt::AlignCenter, QString::fromUtf8("新版插件合集"));
    p.end();
    return ad.save(path, "BMP");  // read back through our own decoders
}

SplashOptions GalleryOptions(SplashBackdrop backdrop, const QString& folder) {
    SplashOptions o;
    o.startInfo = [](const TargetRef&) {};
    o.startAccountCheck = [] {};
    o.openLink = [](const std::string&) {};
    o.backdrop = backdrop;
    o.workingFolder = folder.toStdString();
    return o;
}

int Splash(const QString& out) {
    int failures = 0;
    QTemporaryDir work;
    if (!work.isValid() || !QDir(work.path()).mkpath("ad") ||
        !WriteAdvertisement(work.filePath("ad/promo.bmp"))) {
        std::fprintf(stderr, "无法准备广告图片\n");
        return 1;
    }
    CVelmoraApp& app = theApp();
    const auto previous = app.ProgramDir();
    app.SetProgramDir(work.path().toStdString());

    // Without an advertisement: the first step of the fade, halfway, and complete.
    {
        CDlgSplash splash(nullptr, GalleryOptions(SplashBackdrop::Filled, work.path()));
        splash.show();
        failures += Save(splash.Render(), out, "splash-fade-start.png");
        for (int i = 0; i < 4; ++i) splash.OnTimer(CDlgSplash::kFadeTimer);
        failures += Save(splash.Render(), out, "splash-fade-half.png");
        for (int i = 0; i < 4; ++i) splash.OnTimer(CDlgSplash::kFadeTimer);
        failures += Save(splash.Render(), out, "splash.png");
        splash.hide();
    }
    // With the advertisement, over a desktop that shows through the corners.
    app.WriteProfile(settings::kADFilename, "promo.bmp");
    app.WriteProfile(settings::kADLink, "http://www.velmora.example/promo");
    {
        CDlgSplash splash(nullptr, GalleryOptions(SplashBackdrop::Translucent, work.path()));
        splash.show();
        for (int i = 0; i < 8; ++i) splash.OnTimer(CDlgSplash::kFadeTimer);
        QImage shot = Desktop(splash.size());
        QPainter p(&shot);
        p.drawImage(0, 0, splash.Render());
        p.end();
        failures += Save(shot, out, "splash-advertisement-translucent.png");
        splash.hide();
    }
    if (!previous.empty()) app.SetProgramDir(previous);
    return failures;
}

int MirrorChoice(const QString& out) {
    int failures = 0;
    QTemporaryDir work;
    CVelmoraApp& app = theApp();
    const auto previous = app.ProgramDir();
    app.SetProgramDir(work.path().toStdString());
    {
        CDlgSelectServer dlg(nullptr, [](const TargetRef&) {});
        dlg.show();
        Settle();
        failures += Save(gallery::GrabWindow(&dlg), out, "mirror-choice-measuring.png");
        PostTo(dlg.Target(), WM_VM_MIRROR_LATENCY, 0, 23);
        PostTo(dlg.Target(), WM_VM_MIRROR_LATENCY, 1, -1);
        Settle();
        failures += Save(gallery::GrabWindow(&dlg), out, "mirror-choice.png");
        dlg.hide();
    }
    if (!previous.empty()) app.SetProgramDir(previous);
    return failures;
}

int BusyWindow(const QString& out) {
    CDlgStatus status(nullptr, "正在上传配置，请稍候……");
    status.ShowCentered();
    Settle();
    const int failures = Save(gallery::GrabWindow(&status), out, "busy-window.png");
    status.hide();
    return failures;
}

}  // namespace

int GalleryStartup(const QString& out) {
    return Splash(out) + MirrorChoice(out) + BusyWindow(out);
}

}  // namespace vm
