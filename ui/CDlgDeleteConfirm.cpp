#include "ui/CDlgDeleteConfirm.h"

#include <QApplication>
#include <QLineEdit>

#include "app/Prompter.h"
#include "platform/Text.h"
#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUILabel.h"
#include "skin/CWndListCtrl.h"
#include "skin/MarkupLayout.h"
#include "skin/UINotify.h"
#include "ui/CDlgObsoleted.h"
#include "ui/CGroupFrame.h"
#include "ui/DialogParts.h"

namespace vm {

namespace {

constexpr int kWordId = 1008;
constexpr int kDontAskId = 1009;
constexpr int kDetailsId = 1010;
constexpr int kIsolateId = 1011;
constexpr int kKeepId = 1012;
constexpr int kCloseId = 1000;
constexpr int kObsoletedId = 1013;  // shown with the details

}  // namespace

CDlgDeleteConfirm::CDlgDeleteConfirm(std::vector<std::string> unknownFiles,
                                     std::vector<std::string> listedFiles)
    : m_unknownFiles(std::move(unknownFiles)), m_listedFiles(std::move(listedFiles)) {}

CDlgDeleteConfirm::~CDlgDeleteConfirm() = default;

CDlgDeleteConfirm::CDlgDeleteConfirm(std::vector<AddOnGroup> groups)
    : m_groups(std::move(groups)), m_grouped(true) {}

namespace {

UnknownAddOnsDecision ShowDialog(HWND owner, const std::vector<AddOnGroup>& groups) {
    CDlgDeleteConfirm dialog(groups);
    return dialog.Run(owner) == IDOK ? UnknownAddOnsDecision::Isolate : UnknownAddOnsDecision::Keep;
}

}  // namespace

UnknownAddOnsDecision CDlgDeleteConfirm::Ask(HWND owner, const UnknownAddOnsQuestion& question) {
    return AskUnknownAddOns(question, [owner](const std::vector<AddOnGroup>& groups) {
        return ShowDialog(owner, groups);
    });
}

int CDlgDeleteConfirm::Answer(HWND owner, const std::vector<std::string>& unknownFiles,
                              const std::vector<std::string>& listedFiles) {
    const UnknownAddOnsQuestion question{unknownFiles, listedFiles, {}, {}};
    const UnknownAddOnsDecision decision = DecideUnknownAddOns(
        question,
        [owner](const std::vector<AddOnGroup>& groups) { return ShowDialog(owner, groups); });
    return decision == UnknownAddOnsDecision::Isolate ? 1 : 0;
}

bool CDlgDeleteConfirm::Open(HWND owner) {
    if (!m_grouped) {
        m_groups = GroupUnknownAddOns(UnknownAddOnsQuestion{m_unknownFiles, m_listedFiles, {}, {}});
        m_grouped = true;
    }
    if (m_groups.empty()) return false;
    return Create(owner, "不明插件", kWidth, kCollapsedHeight);
}

int CDlgDeleteConfirm::Run(HWND owner) {
    if (!Open(owner)) return m_groups.empty() ? IDOK : IDCANCEL;
    FocusWhenActive(*this, kWordId);
    return DoModal();
}

bool CDlgDeleteConfirm::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    const int w = kWidth;
    CreateLabel(1001, 16, 8, w - 58, 24, "<c #FDE6F9>不明插件");
    CreateCloseBox(*this, kCloseId, w - 38, 4, w - 10, 31);
    CreateIconLabel(*this, 1002, 16, 40, 48, 72);
    CUILabel* intro = CreateLabel(
        1003, 57, 40, w - 16, 72,
        "<c #C8C8C8>在你的系统里检测到一些不明插件。这些不明插件可能会对游戏的稳定性造成影响。");
    intro->SetTextStyle(DT_WORDBREAK);
    CreateLabel(1004, 57, 70, w - 16, 86,
                "<c #FFF91B>选择隔离将会把这些不明插件放入\"Interface.obsoleted\"文件夹里。</c>");
    CreateLabel(1006, 57, 90, w - 16, 106,
                "<c #C8C8C8>为了保证游戏质量，你是否想要隔离这些不明插件？");
    auto frame = std::make_unique<CGroupFrame>();
    frame->SetId(1007);
    frame->SetName("1007");
    frame->SetPos(50, 110, w - 50, 170);
    frame->SetFrameColor(RGB(226, 228, 231));
    AddControl(std::move(frame));
    CreateLabel(1005, 120, 137, 216, 159,
                "<c #C8C8C8>输入</c><b><c #970000>YES</c></b><c #C8C8C8>来确认：</c>");
    CUIEdit* word = CreateEdit(kWordId, 220, 137, 270, 159);
    word->SetTextLimit(3);
    CreateCheckBox(*this, kDontAskId, 15, 185, 120, 207, "<c #C8C8C8>下次不再提示我");
    CreateFaceButton(*this, kDetailsId, 15, 212, 115, 237, "<c #C8C8C8>查看详情>>");
    CreateFaceButton(*this, kIsolateId, w - 165, 212, w - 95, 237, "<c #C8C8C8>隔离")
        ->SetEnabled(false);
    CreateFaceButton(*this, kKeepId, w - 85, 212, w - 15, 237, "<c #C8C8C8>保留");
    CreateFaceButton(*this, kObsoletedId, 125, 212, 255, 237, "<c #C8C8C8>已隔离的插件...")
        ->SetVisible(false);

    m_list = new CWndListCtrl(Window());
    m_list->Create(RECT{15, 250, 420, 370}, kListId);
    m_list->AddColumn(0, "插件", 250);
    m_list->AddColumn(1, "包含文件数目", 100);
    m_list->SetHeader(22, RGB(174, 174, 174), RGB(224, 224, 224), RGB(40, 24, 56));
    m_list->SetGridLineColor(RGB(204, 204, 204));
    m_list->SetColors(RGB(226, 228, 231), RGB(56, 29, 90), RGB(105, 62, 133), RGB(80, 46, 110));
    for (const AddOnGroup& group : m_groups) {
        const int row = m_list->AddEntry();
        m_list->SetSubItem(row, 0, group.name);
        m_list->SetSubItem(row, 1, std::to_string(group.files));
        m_list->SetEntryHeight(row, 25);
    }
    m_list->hide();
    SetRoundCorner(5);
    return true;
}

void CDlgDeleteConfirm::ToggleDetails() {
    m_showDetails = !m_showDetails;
    if (CUIControl* details = FindControl(kDetailsId))
        details->SetText(m_showDetails ? "<c #C8C8C8>隐藏详情 <<" : "<c #C8C8C8>查看详情 >>");
    const QPoint at = Window()->pos();
    MoveWindow(at.x(), at.y(), kWidth, m_showDetails ? kExpandedHeight : kCollapsedHeight);
    m_list->setVisible(m_showDetails);
    if (CUIControl* obsoleted = FindControl(kObsoletedId)) obsoleted->SetVisible(m_showDetails);
    Root()->SetPos(Window()->ClientRect());
    SetRoundCorner(5);
    Manager().Invalidate();
}

void CDlgDeleteConfirm::Finish(bool isolate) {
    if (IsChecked(*this, kDontAskId))
        RememberUnknownAddOnsDecision(isolate ? UnknownAddOnsDecision::Isolate
                                              : UnknownAddOnsDecision::Keep);
    EndDialog(isolate ? IDOK : IDCANCEL);
}

void CDlgDeleteConfirm::Notify(UINotify& notify) {
    if (!notify.sender) return;
    const int id = notify.sender->GetId();
    if (notify.code == UINotifyCode::TextChanged && id == kWordId) {
        const bool confirmed = platform::AsciiLower(notify.sender->GetText()) == "yes";
        if (CUIControl* isolate = FindControl(kIsolateId)) isolate->SetEnabled(confirmed);
        return;
    }
    if (notify.code != UINotifyCode::Click) return;
    switch (id) {
        case kDetailsId:
            ToggleDetails();
            break;
        case kObsoletedId:
            // The run that asks waits for the answer: nothing else moves files meanwhile.
            CDlgObsoleted::Run(Window(), CDlgObsoleted::Locking::PausedRun);
            break;
        case kIsolateId:
            if (notify.sender->IsEnabled()) Finish(true);
            break;
        case kKeepId:
        case kCloseId:
            Finish(false);
            break;
        default:
            break;
    }
}

bool CDlgDeleteConfirm::PreTranslateMessage(const MSG& msg) {
    // Letters arrive upper-cased, so the word reads "YES" however it is typed.
    if (msg.message == WM_CHAR && msg.wParam >= 'a' && msg.wParam <= 'z') {
        if (auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            line && NativeWindow::Containing(line) == Window()) {
            line->insert(QString(QChar(static_cast<char16_t>(msg.wParam - 'a' + 'A'))));
            return true;
        }
    }
    return CSkinDialog::PreTranslateMessage(msg);
}

LRESULT CDlgDeleteConfirm::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCHITTEST && Window()) {
        const QPoint p =
            Window()->mapFromGlobal(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        const QImage& close = GetMessageBoxBackground();
        const int strip = close.isNull() ? 50 : close.width() / 4 + 10;
        return p.y() >= 0 && p.y() < 25 && p.x() >= 0 && p.x() < Window()->width() - strip
                   ? HTCAPTION
                   : HTCLIENT;
    }
    if (msg == WM_CLOSE) {
        Finish(false);
        return 0;
    }
    return CSkinDialog::DialogProc(msg, wParam, lParam);
}

}  // namespace vm
