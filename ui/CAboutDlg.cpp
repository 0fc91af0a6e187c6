#include "ui/CAboutDlg.h"

#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "ui/MainWindowTexts.h"

namespace vm {

bool CAboutDlg::Open(HWND owner) {
    if (!Create(owner, "关于 Velmora", 320, 170)) return false;
    SetRoundCorner(5);
    if (CUILabel* title = CreateLabel(100, 12, 6, 250, 26, "关于 Velmora")) {
        title->SetTextColor(RGB(253, 230, 249));
        title->SetTextStyle(0x24);
    }
    CreateButton(2, 292, 6, 312, 24, "×");
    if (CUILabel* name = CreateLabel(kVersionId, 24, 48, 296, 68)) {
        name->SetText(std::string("TovrinVelmora v") + kVersionText);
        name->SetTextColor(RGB(244, 233, 255));
    }
    if (CUILabel* notice = CreateLabel(101, 24, 74, 296, 110, kRightsNotice))
        notice->SetTextColor(RGB(195, 175, 225));
    CreateButton(1, 124, 126, 196, 150, "确定");
    return true;
}

void CAboutDlg::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    const int id = notify.sender->GetId();
    if (id == 1 || id == 2) EndDialog(id);
}

}  // namespace vm
