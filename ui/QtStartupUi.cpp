#include "ui/QtStartupUi.h"

#include <QButtonGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"
#include "ui/CVelmoraDlg.h"
#include "ui/QtMessageTarget.h"
#include "update/CRealmInfoThread.h"

namespace vm {

void QtStartupUi::InitSkinDefaults() {
    res::RegisterStringTable();
    CSkinDialog::LoadDialogBackground(res::IDP_DIALOG_BACKGROUND);
    CSkinDialog::LoadButtonFace(res::IDP_BUTTON_FACE);
    CSkinDialog::LoadMessageBoxBackground(res::IDP_MSGBOX_CLOSE);
    CSkinDialog::LoadCheckBoxImage(res::IDP_CHECKBOX);
    CSkinDialog::LoadRadioImage(res::IDP_RADIO);
    CMessageBoxWnd::SetButtonTextColors(0, 0, 0, 0x808080);
    CMessageBoxWnd::SetCloseButtonOffset(5, 1);
    CMessageBoxWnd::SetTitlePosition(10, 3);
    CMessageBoxWnd::SetCornerCut(5);
    CMessageBoxWnd::SetMessageColor(0);
    CMessageBoxWnd::SetTitleColor(0);
    CMessageBoxWnd::SetTitleStyle(36);
    CMessageBoxWnd::SetButtonTextColors(0xF9E6FD, 0xF9E6FD, 0xF9E6FD, 0xF9E6FD);
}

void QtStartupUi::ShowPlainMessage(const std::string& text) {
    QMessageBox::information(nullptr, QString(), QString::fromStdString(text));
}

bool QtStartupUi::RunMirrorDialog() {
    QDialog dlg;
    dlg.setWindowTitle("选择更新服务器");
    auto* layout = new QVBoxLayout(&dlg);
    auto* telecom = new QRadioButton("电信服务器", &dlg);
    auto* netcom = new QRadioButton("网通服务器", &dlg);
    telecom->setChecked(true);
    layout->addWidget(telecom);
    layout->addWidget(netcom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted) return false;
    theApp().WriteProfileInt("Update", "Server", telecom->isChecked() ? 1 : 2);
    return true;
}

void QtStartupUi::RunSplash() {
    // Until the skinned splash exists: start the update-information job and wait for it
    // while the event loop keeps running (its message boxes need it).
    QObject splash;
    auto target =
        QtMessageTarget::Create(&splash, [](const Message&) -> std::intptr_t { return 0; });
    g_infoReady.Reset();
    CRealmInfoThread::Launch(target);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop] {
        if (g_infoReady.IsSet()) loop.quit();
    });
    poll.start(50);
    if (!g_infoReady.IsSet()) loop.exec();
}

void QtStartupUi::RunMainWindow() {
    CVelmoraDlg window;
    if (!window.Open()) return;
    theApp().SetMainTarget(window.Target().lock());
    window.RunModal();
    theApp().SetMainTarget(nullptr);
}

}  // namespace vm
