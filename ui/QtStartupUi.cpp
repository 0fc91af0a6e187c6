#include "ui/QtStartupUi.h"

#include <QMessageBox>

#include "app/Prompter.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"
#include "skin/UITheme.h"

namespace vm {

QtStartupUi::QtStartupUi(MainWindowRunner runMainWindow)
    : m_runMainWindow(runMainWindow ? std::move(runMainWindow) : RunPlainMainWindow) {}

// The skin's look, all in one place: the start-up values, then what the main window changes
// once it opens (its boxes have a taller caption and the close button lower).
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

void ApplyMainWindowSkinTheme() {
    CMessageBoxWnd::SetButtonSize(72, 24);
    UITheme::Get().SetEditBackColor(RGB(56, 29, 90));
    UITheme::Get().SetDisabledEditBackColor(RGB(62, 43, 81));
    UITheme::Get().SetEditTextColor(RGB(200, 200, 200));
    CMessageBoxWnd::SetCloseButtonOffset(5, 5);
    CMessageBoxWnd::SetCaptionHeight(34);
    CMessageBoxWnd::SetTitleStyle(36);
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
