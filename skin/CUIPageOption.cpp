#include "skin/CUIPageOption.h"

#include <string>

#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUIGroup.h"
#include "skin/CUILabel.h"

namespace vm {

void CUIPageOption::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
}

CUIControl* CUIPageOption::AddControl(std::unique_ptr<CUIControl> control) {
    if (!control) return nullptr;
    const RECT rc = control->GetPos();
    for (CUIGroup* group : m_groups) {
        if (IntersectRect(group->GetPos(), rc) == rc) return group->Add(std::move(control));
    }
    return Add(std::move(control));
}

template <typename T>
T* CUIPageOption::Make(int id, int left, int top, int right, int bottom, std::string_view text) {
    auto control = std::make_unique<T>();
    control->SetId(id);
    control->SetPos(left, top, right, bottom);
    control->SetName(std::to_string(id));
    if (!text.empty()) control->SetText(text);
    control->SetVisible(IsVisible());
    return static_cast<T*>(AddControl(std::move(control)));
}

CUIButton* CUIPageOption::CreateButton(int id, int l, int t, int r, int b, std::string_view text) {
    return Make<CUIButton>(id, l, t, r, b, text);
}

CUILabel* CUIPageOption::CreateLabel(int id, int l, int t, int r, int b, std::string_view text) {
    return Make<CUILabel>(id, l, t, r, b, text);
}

CUIEdit* CUIPageOption::CreateEdit(int id, int l, int t, int r, int b, std::string_view text) {
    auto* edit = Make<CUIEdit>(id, l, t, r, b, {});
    if (edit && !text.empty()) edit->SetText(text, true);
    return edit;
}

CUIGroup* CUIPageOption::CreateGroup(int id, int l, int t, int r, int b, std::string_view text) {
    auto group = std::make_unique<CUIGroup>();
    group->SetId(id);
    group->SetPos(l, t, r, b);
    group->SetName(std::to_string(id));
    if (!text.empty()) group->SetText(text);
    group->SetVisible(IsVisible());
    auto* raw = static_cast<CUIGroup*>(Add(std::move(group)));
    if (raw) m_groups.push_back(raw);
    return raw;
}

}  // namespace vm
