#include "ui/QtStartupUi.h"

#include <QMessageBox>

#include "app/Prompter.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"

namespace vm {

QtStartupUi::QtStartupUi(MainWindowRunner runMainWindow)
    : m_runMainWindow(runMainWindow ? std::move(runMainWindow) : RunPlainMainWindow) {}

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
    CDlgSelectServer dlg(nullptr, m_latencyStarter);
    return dlg.DoModal() == IDOK;
}

void QtStartupUi::RunSplash() {
    CDlgSplash splash(nullptr, m_splashOptions);
    splash.DoModal();
}

void QtStartupUi::RunMainWindow() {
    m_runMainWindow();
}

}  // namespace vm
