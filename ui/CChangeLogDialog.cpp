#include "ui/CChangeLogDialog.h"

#include "app/CVelmoraApp.h"
#include "app/Prompter.h"
#include "res/ResourceIds.h"
#include "skin/CSkinEdit.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/UINotify.h"
#include "ui/DialogParts.h"

namespace vm {

namespace {
constexpr int kClose = 1000;
constexpr int kCloseButton = 1003;
}  // namespace

bool CChangeLogDialog::Open(HWND owner) {
    return Create(owner, "更新日志", kWidth, kHeight);
}

int CChangeLogDialog::Run(HWND owner) {
    if (!Open(owner)) return IDCANCEL;
    return DoModal();
}

bool CChangeLogDialog::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    const int w = kWidth;
    const int h = kHeight;
    SetEditTextColor(RGB(165, 148, 198));
    SetEditBackColor(RGB(56, 29, 90));
    SetEditFrameColors(RGB(91, 49, 110), 0);

    m_viewer = new CSkinEdit(Window());
    m_viewer->setObjectName(QString::number(kViewerId));
    m_viewer->SetScrollBarMetrics(13, 13);
    m_viewer->SetColors(RGB(165, 148, 198), RGB(56, 29, 90));
    m_viewer->setGeometry(6, 35, 588, 310);
    std::string text;
    {
        const auto info = theApp().PublishedState().updateInfo.Get();
        if (auto it = info.find("ChangeLog"); it != info.end()) text = it->second;
    }
    m_viewer->SetText(text);
    m_viewer->show();

    CreateTitleLabel(*this, 1001, 14, 9, w - 58, 29, "<f UIFONT_TITLE>更新日志",
                     RGB(253, 230, 249));
    CreateCloseBox(*this, kClose, w - 34, 6, w - 7, 33);
    CreateFaceButton(*this, kCloseButton, (w - 74) / 2, h - 45, (w - 74) / 2 + 74, h - 20,
                     "<c #DDCDFF>关闭");
    CreateLabel(1002, 6, 350, w - 6, 352)->LoadImage(res::IDP_SEPARATOR);
    SetRoundCorner(5);
    return true;
}

void CChangeLogDialog::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    const int id = notify.sender->GetId();
    if (id == kClose || id == kCloseButton) EndDialog(IDCANCEL);
}

bool CChangeLogDialog::PreTranslateMessage(const MSG& msg) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && Window() &&
        NativeWindow::Containing(msg.hwnd) == Window()) {
        EndDialog(IDCANCEL);
        return true;
    }
    return CSkinDialog::PreTranslateMessage(msg);
}

}  // namespace vm
