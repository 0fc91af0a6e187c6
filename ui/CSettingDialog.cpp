#include "ui/CSettingDialog.h"

#include <QFileDialog>

#include "app/Prompter.h"
#include "res/ResourceIds.h"
#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUILabel.h"
#include "skin/CUIPageOption.h"
#include "skin/CUIPageSheet.h"
#include "skin/IUIChecked.h"
#include "skin/MarkupLayout.h"
#include "skin/UINotify.h"
#include "ui/CGroupFrame.h"
#include "ui/DialogParts.h"
#include "ui/SettingChoices.h"

namespace vm {

namespace {

constexpr int W = CSettingDialog::kWidth;
constexpr COLORREF kTextColor = RGB(165, 148, 198);
constexpr COLORREF kGroupColor = RGB(66, 39, 93);

enum : int {
    kClose = 1000,
    kOk = 1030,
    kCancel = 1031,
    kAutoUpdate = 1004,
    kOnceEveryDay = 1006,
    kAutoRun = 1007,
    kTelecom = 1009,
    kNetcom = 1010,
    kProgramFolder = 1013,
    kCustomPath = 1015,
    kPathEdit = 1018,
    kBrowse = 1019,
    kAsk = 1021,
    kIsolate = 1022,
    kKeep = 1023,
    kMinimise = 1025,
    kExit = 1026,
    kTip = 1028,
    kConfirmExit = 1029,
};

void AddFrame(CUIPageOption* page, int id, int l, int t, int r, int b, std::string_view text) {
    auto frame = std::make_unique<CGroupFrame>();
    frame->SetId(id);
    frame->SetName(std::to_string(id));
    frame->SetPos(l, t, r, b);
    frame->SetText(text);
    frame->SetFrameColor(kGroupColor);
    page->AddControl(std::move(frame));
}

CUIButton* AddCheck(CUIPageOption* page, int id, int l, int t, int r, int b, std::string_view text,
                    int mode = UICHECK_CHECKBOX) {
    CUIButton* button = page->CreateButton(id, l, t, r, b, text);
    button->SetCheckMode(mode);
    return button;
}

CUIButton* AddRadio(CUIPageOption* page, int id, int l, int t, int r, int b, std::string_view text,
                    int first, int last) {
    CUIButton* button = AddCheck(page, id, l, t, r, b, text, UICHECK_RADIO);
    button->SetGroupRange(first, last);
    return button;
}

CUILabel* AddText(CUIPageOption* page, int id, int l, int t, int r, int b, std::string_view text,
                  bool wrap) {
    CUILabel* label = page->CreateLabel(id, l, t, r, b, text);
    label->SetTextColor(kTextColor);
    if (wrap) label->SetTextStyle(DT_WORDBREAK);
    return label;
}

}  // namespace

CSettingDialog::CSettingDialog()
    : m_chooseFile([](HWND owner) -> std::optional<std::string> {
          QFileDialog dialog(owner, QString(), QString(), QStringLiteral("可执行文件 (*.exe)"));
          dialog.setFileMode(QFileDialog::ExistingFile);
          dialog.setDefaultSuffix(QStringLiteral("exe"));
          dialog.selectFile(QStringLiteral("Tovrin.exe"));
          if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
              return std::nullopt;
          return dialog.selectedFiles().first().toStdString();
      }) {}

bool CSettingDialog::Open(HWND owner) {
    return Create(owner, "设置", kWidth, kHeight);
}

int CSettingDialog::Run(HWND owner) {
    if (!Open(owner)) return IDCANCEL;
    return DoModal();
}

bool CSettingDialog::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    LoadRadioImage(res::IDP_RADIO);
    LoadCheckBoxImage(res::IDP_CHECKBOX);
    LoadButtonFace(res::IDP_BUTTON_FACE);
    SetEditBackColor(RGB(102, 65, 121));
    // Check boxes and radio buttons write in the edit text colour: the one the logon uses.
    SetEditTextColor(kTextColor);
    SetEditFrameColors(RGB(105, 61, 125), kNoColor);
    SetReadOnlyEditFrameColors(RGB(140, 128, 142), kNoColor);

    CreateTitleLabel(*this, 1001, 12, 5, 50, 30, "<f UIFONT_TITLE>设置", RGB(221, 202, 255));
    CreateButton(kClose, W - 33, 5, W - 6, 32)->LoadImage(res::IDP_MSGBOX_CLOSE);
    m_sheet = CreatePageSheet(kSheetId, 20, 54, 470, 362);
    m_sheet->LoadTabImage(res::IDP_TAB);
    m_sheet->LoadFrameImage(res::IDP_PAGE_FRAME);
    m_sheet->SetFrameColors(RGB(105, 62, 133), RGB(66, 39, 93));
    m_sheet->SetBackColor(RGB(56, 29, 90));
    m_sheet->SetTabOffset(5);
    BuildUpdatePage();
    BuildLocationPage();
    BuildMiscPage();
    CreateFaceButton(*this, kOk, 150, 382, 223, 409, "<c #DDCDFF>确定");
    CreateFaceButton(*this, kCancel, 268, 382, 341, 409, "<c #DDCDFF>取消");
    Load();
    SetRoundCorner(6);
    return true;
}

void CSettingDialog::BuildUpdatePage() {
    CUIPageOption* page = m_sheet->AddPage(0, "<c #B7A1DB>更新选项");
    AddFrame(page, 1003, 35, 87, 440, 225, "<c #CE7CCD>选项");
    AddCheck(page, kAutoUpdate, 50, 112, 156, 134, "运行时自动更新");
    AddText(page, 1005, 65, 135, W - 54, 169,
            "当Velmora启动时自动到服务器检测更新状态，如果发现有插件需要更新，会自动进行更新。",
            true);
    AddCheck(page, kOnceEveryDay, 60, 166, 180, 188, "每天只更新一次");
    AddCheck(page, kAutoRun, 50, 190, 200, 212, "自动运行Tovrin");
    AddFrame(page, 1008, 35, 246, 245, 330, "<c #CE7CCD>更新服务器");
    AddRadio(page, kTelecom, 50, 275, 142, 293, "电信服务器", kTelecom, kNetcom);
    AddRadio(page, kNetcom, 50, 298, 142, 321, "网通服务器", kTelecom, kNetcom);
}

void CSettingDialog::BuildLocationPage() {
    CUIPageOption* page = m_sheet->AddPage(1, "<c #B7A1DB>游戏位置");
    AddText(page, 1011, 30, 90, 456, 110, "你可以使用下面的选项来指定Tovrin的所在位置。", false);
    AddFrame(page, 1012, 33, 121, 456, 346, "<c #CE7CCD>Tovrin位置");
    AddRadio(page, kProgramFolder, 50, 155, 439, 177, "Velmora更新器所在的文件夹", kProgramFolder,
             kCustomPath);
    AddText(page, 1014, 62, 178, 439, 216,
            "一般情况下，Velmora被放置在Tovrin所在的文件夹下，采用这种方式，Velmora会自动寻找当前"
            "路径下的Tovrin.exe并运行。",
            true);
    AddRadio(page, kCustomPath, 50, 231, 439, 253, "手动指定所在位置", kProgramFolder, kCustomPath);
    AddText(page, 1016, 63, 255, 443, 295,
            "假如你的Velmora并非放置在Tovrin的文件夹里，你可以采用这种方式手动指定Tovrin所在的"
            "位置。",
            true);
    page->CreateLabel(1017, 70, 310, 100, 330, "<c #A594C6>位置");
    page->CreateEdit(kPathEdit, 106, 308, 355, 332);
    page->CreateButton(kBrowse, 365, 306, 438, 335, "<c #DDCDFF>浏览")
        ->SetImage(GetButtonFaceImage());
}

void CSettingDialog::BuildMiscPage() {
    CUIPageOption* page = m_sheet->AddPage(2, "<c #B7A1DB>杂项");
    AddFrame(page, 1020, 35, 80, W - 50, 195, "<c #CE7CCD>对不明插件实行");
    AddRadio(page, kAsk, 50, 105, 200, 120, "弹出提示对话框询问用户", kAsk, kKeep);
    AddRadio(page, kIsolate, 50, 125, 200, 160, "总是隔离不明插件", kAsk, kKeep);
    AddRadio(page, kKeep, 50, 165, 200, 180, "总是保留不明插件", kAsk, kKeep);
    AddFrame(page, 1024, 35, 195, W - 50, 295, "<c #CE7CCD>点击关闭按钮时");
    AddRadio(page, kMinimise, 50, 215, 200, 235, "最小化到托盘", kMinimise, kTip);
    AddRadio(page, kExit, 50, 245, 200, 260, "退出应用程序", kMinimise, kTip);
    AddRadio(page, kTip, 50, 270, 200, 285, "提示我怎么办", kMinimise, kTip);
    AddFrame(page, 1027, 35, 295, W - 50, 355, "<c #CE7CCD>其他");
    AddCheck(page, kConfirmExit, 50, 320, 200, 340, "退出时弹出确认对话框");
}

void CSettingDialog::Load() {
    const SettingChoices c = SettingChoices::Load();
    SetChecked(*this, kAutoUpdate, c.autoUpdate);
    SetChecked(*this, kOnceEveryDay, c.onceEveryDay);
    SetChecked(*this, kAutoRun, c.autoRun);
    SetChecked(*this, c.server == 1 ? kTelecom : kNetcom, true);
    UpdateOnceEveryDay();
    SetChecked(*this, c.customPath ? kCustomPath : kProgramFolder, true);
    if (c.customPath) static_cast<CUIEdit*>(FindControl(kPathEdit))->SetText(c.path, false);
    UpdatePathControls();
    SetChecked(*this, c.deleteMode == 0 ? kAsk : c.deleteMode == 1 ? kIsolate : kKeep, true);
    SetChecked(*this,
               c.closeMeaning == CloseMeaning::Minimise ? kMinimise
               : c.closeMeaning == CloseMeaning::Exit   ? kExit
                                                        : kTip,
               true);
    SetChecked(*this, kConfirmExit, c.confirmExit);
}

void CSettingDialog::UpdateOnceEveryDay() {
    if (CUIControl* once = FindControl(kOnceEveryDay))
        once->SetEnabled(IsChecked(*this, kAutoUpdate));
}

void CSettingDialog::UpdatePathControls() {
    const bool custom = IsChecked(*this, kCustomPath);
    if (CUIControl* edit = FindControl(kPathEdit)) edit->SetEnabled(custom);
    if (CUIControl* browse = FindControl(kBrowse)) browse->SetEnabled(custom);
}

void CSettingDialog::Browse() {
    if (std::optional<std::string> path = m_chooseFile(Window()))
        static_cast<CUIEdit*>(FindControl(kPathEdit))->SetText(*path, true);
}

void CSettingDialog::Save() {
    SettingChoices c;
    c.autoUpdate = IsChecked(*this, kAutoUpdate);
    c.onceEveryDay = IsChecked(*this, kOnceEveryDay);
    c.autoRun = IsChecked(*this, kAutoRun);
    c.server = IsChecked(*this, kTelecom) ? 1 : 2;
    c.customPath = IsChecked(*this, kCustomPath);
    c.path = FindControl(kPathEdit)->GetText();
    c.deleteMode = IsChecked(*this, kKeep) ? 2 : IsChecked(*this, kIsolate) ? 1 : 0;
    c.closeMeaning = IsChecked(*this, kMinimise) ? CloseMeaning::Minimise
                     : IsChecked(*this, kExit)   ? CloseMeaning::Exit
                                                 : CloseMeaning::Ask;
    c.confirmExit = IsChecked(*this, kConfirmExit);

    c.SaveUpdateOptions();
    if (std::string problem = c.SaveGameLocation(); !problem.empty()) {
        m_sheet->SelectItem(1);
        MessageBox(problem, "<c #F4E9FF>非法文件</c>", MB_ICONERROR);
        return;
    }
    c.SaveMisc();
    EndDialog(IDOK);
}

void CSettingDialog::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    switch (notify.sender->GetId()) {
        case kClose:
        case kCancel:
            EndDialog(IDCANCEL);
            break;
        case kOk:
            Save();
            break;
        case kAutoUpdate:
            UpdateOnceEveryDay();
            break;
        case kProgramFolder:
        case kCustomPath:
            UpdatePathControls();
            break;
        case kBrowse:
            Browse();
            break;
        default:
            break;
    }
}

}  // namespace vm
