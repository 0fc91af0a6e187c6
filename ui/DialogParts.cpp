#include "ui/DialogParts.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/IUIChecked.h"
#include "skin/MarkupLayout.h"
#include "skin/ResourceLoader.h"

namespace vm {

namespace {
constexpr int kInformationIcon = 4;
}

CUILabel* CreateIconLabel(CSkinDialog& dialog, int id, int left, int top, int right, int bottom) {
    CUILabel* label = dialog.CreateLabel(id, left, top, right, bottom);
    if (!label) return nullptr;
    QImage icon;
    if (LoadImageResource(icon, ResourceType::SystemIcon, kInformationIcon)) {
        label->SetImage(icon);
        // The icon keeps its own size instead of filling the whole cell.
        label->SetImageSize(icon.width(), icon.height());
    }
    return label;
}

CUILabel* CreateTitleLabel(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                           std::string_view text, COLORREF color) {
    CUILabel* label = dialog.CreateLabel(id, left, top, right, bottom, text);
    if (!label) return nullptr;
    label->SetTextColor(color);
    label->SetTextStyle(DT_SINGLELINE);
    return label;
}

CUIButton* CreateCloseBox(CSkinDialog& dialog, int id, int left, int top, int right, int bottom) {
    CUIButton* button = dialog.CreateButton(id, left, top, right, bottom);
    if (button) button->SetImage(CSkinDialog::GetMessageBoxBackground());
    return button;
}

CUIButton* CreateCheckBox(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                          std::string_view text) {
    CUIButton* button = dialog.CreateButton(id, left, top, right, bottom, text);
    if (button) button->SetCheckMode(UICHECK_CHECKBOX);
    return button;
}

CUIButton* CreateFaceButton(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                            std::string_view text) {
    CUIButton* button = dialog.CreateButton(id, left, top, right, bottom, text);
    if (button) button->SetImage(CSkinDialog::GetButtonFaceImage());
    return button;
}

void FocusWhenActive(CSkinDialog& dialog, int id) {
    QWidget* window = dialog.Window();
    if (!window) return;
    auto* timer = new QTimer(window);
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, window, [&dialog, id, timer, tries, window] {
        // Without a window manager activation may never come: focus after a second anyway.
        if (!window->isActiveWindow() && ++*tries < 100) return;
        timer->stop();
        timer->deleteLater();
        if (CUIControl* control = dialog.FindControl(id)) dialog.Manager().SetFocus(control);
    });
    timer->start();
}

bool IsChecked(CSkinDialog& dialog, int id) {
    CUIControl* control = dialog.FindControl(id);
    auto* check = control ? static_cast<IUIChecked*>(control->GetInterface("UIChecked")) : nullptr;
    return check && check->GetCheck();
}

void SetChecked(CSkinDialog& dialog, int id, bool checked) {
    CUIControl* control = dialog.FindControl(id);
    auto* check = control ? static_cast<IUIChecked*>(control->GetInterface("UIChecked")) : nullptr;
    if (check) check->SetCheck(checked);
}

}  // namespace vm
