#include "ui/CDlgConfirmCloseBtnMean.h"

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
}

bool CDlgConfirmCloseBtnMean::Open(HWND owner) {
    return Create(owner, "关闭按钮确认", kWidth, kHeight);
}

int CDlgConfirmCloseBtnMean::Run(HWND owner) {
    if (!Open(owner)) return IDCANCEL;
    return DoModal();
}

bool CDlgConfirmCloseBtnMean::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    const int w = kWidth;
    CreateTitleLabel(*this, 0, 15, 8, 100, 25, "<f UIFONT_TITLE>关闭按钮确认", RGB(255, 255, 255));
    CreateCloseBox(*this, 1, w - 32, 4, w - 4, 31);
    CreateIconLabel(*this, 2, 5, 35, 58, 89);
    CreateLabel(3, 60, 45, 360, 60)->SetTextColor(kGrey);
    CreateLabel(4, 60, 55, 360, 70, "您希望最小化还是退出Velmora？")->SetTextColor(kGrey);
    CUILabelLine* line = CreateLabelLine(5, 10, 83, 290, 85);
    line->SetUpperColor(RGB(91, 49, 110));
    CreateCheckBox(*this, 6, 30, 92, 270, 112, "<c #C8C8C8>以后不再提示我");
    CreateFaceButton(*this, 7, 60, 130, 148, 158, "<c #C8C8C8>最小化到托盘");
    CreateFaceButton(*this, 8, 180, 130, 268, 158, "<c #C8C8C8>直接退出");
    SetRoundCorner(5);
    return true;
}

void CDlgConfirmCloseBtnMean::Answer(bool minimise) {
    if (m_answered) return;
    m_answered = true;
    const bool remember = IsChecked(*this, 6);
    theApp().WriteProfile(settings::kCloseMeanMin,
                          remember ? (minimise ? "true" : "false") : "tip");
    EndDialog(minimise ? IDYES : IDCANCEL);
    PostTo(m_mainWindow, minimise ? kHideMessage : kExitMessage);
}

void CDlgConfirmCloseBtnMean::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    switch (notify.sender->GetId()) {
        case 1:  // the close box means minimise, as the window's own close box does
        case 7:
            Answer(true);
            break;
        case 8:
            Answer(false);
            break;
        default:
            break;
    }
}

LRESULT CDlgConfirmCloseBtnMean::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCHITTEST && Window()) {
        const QPoint p =
            Window()->mapFromGlobal(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return p.x() >= 0 && p.x() < 183 && p.y() >= 0 && p.y() < 20 ? HTCAPTION : HTCLIENT;
    }
    if (msg == WM_CLOSE) {
        // Closing the question any other way is the close box too.
        Answer(true);
        return 0;
    }
    return CSkinDialog::DialogProc(msg, wParam, lParam);
}

}  // namespace vm
