#include "ui/CDlgConfirmExit.h"

#include "app/CVelmoraApp.h"
#include "app/Prompter.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUILabelLine.h"
#include "skin/UINotify.h"
#include "ui/DialogParts.h"

namespace vm {

namespace {

constexpr COLORREF kGrey = RGB(200, 200, 200);
int g_openConfirmations = 0;

struct OpenGuard {
    OpenGuard() { ++g_openConfirmations; }
    ~OpenGuard() { --g_openConfirmations; }
    OpenGuard(const OpenGuard&) = delete;
    OpenGuard& operator=(const OpenGuard&) = delete;
};

}  // namespace

int CDlgConfirmExit::OpenCount() {
    return g_openConfirmations;
}

bool CDlgConfirmExit::ConfirmExit(HWND owner) {
    if (theApp().GetProfile(settings::kConfirmExit) != 1) return true;
    if (g_openConfirmations > 0) return false;
    CDlgConfirmExit dialog;
    return dialog.Run(owner) == IDYES;
}

bool CDlgConfirmExit::Open(HWND owner) {
    return Create(owner, "退出", kWidth, kHeight);
}

int CDlgConfirmExit::Run(HWND owner) {
    OpenGuard guard;
    if (!Open(owner)) return IDCANCEL;
    return DoModal();
}

bool CDlgConfirmExit::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    CreateTitleLabel(*this, 0, 15, 8, 80, 25, "<f UIFONT_TITLE>退出", RGB(255, 255, 255));
    CreateCloseBox(*this, 1, 277, 5, 304, 32);
    CreateIconLabel(*this, 2, 5, 35, 58, 89);
    CreateLabel(3, 60, 45, 360, 60, "该操作将结束Velmora插件更新客户端的运行。")
        ->SetTextColor(kGrey);
    CreateLabel(4, 60, 65, 360, 80, "你确信想要这么做吗？")->SetTextColor(kGrey);
    CreateLabelLine(5, 20, 93, 290, 95)->SetUpperColor(RGB(91, 49, 110));
    CreateCheckBox(*this, 6, 30, 100, 270, 120, "<c #C8C8C8>以后不再提示我");
    CreateFaceButton(*this, 7, 75, 130, 148, 155, "<c #C8C8C8>是");
    CreateFaceButton(*this, 8, 170, 130, 243, 155, "<c #C8C8C8>否");
    SetRoundCorner(5);
    return true;
}

void CDlgConfirmExit::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    switch (notify.sender->GetId()) {
        case 7:
            theApp().WriteProfile(settings::kConfirmExit, IsChecked(*this, 6) ? 0 : 1);
            EndDialog(IDYES);
            break;
        case 1:
        case 8:
            EndDialog(IDCANCEL);
            break;
        default:
            break;
    }
}

}  // namespace vm
