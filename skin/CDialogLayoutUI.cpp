#include "skin/CDialogLayoutUI.h"

#include <algorithm>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/UIRender.h"
#include "skin/UITheme.h"

namespace vm {

void* CDialogLayoutUI::GetInterface(std::string_view name) {
    if (name == "DialogLayout") return this;
    return CUIContainer::GetInterface(name);
}

void CDialogLayoutUI::RecalcArrangement() {
    if (!recalc_) return;
    for (const Item& item : items_) {
        const bool known = std::any_of(entries_.begin(), entries_.end(),
                                       [&](const Entry& e) { return e.control == item.control; });
        if (!known) entries_.push_back(Entry{item.control, 0, item.control->GetPos()});
    }
    RECT box{9999, 9999, 0, 0};
    for (const Item& item : items_) {
        const RECT& r = item.control->GetPos();
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    if (items_.empty()) box = RECT{};
    for (Entry& e : entries_) e.rect.Offset(-box.left, -box.top);
    box_ = box;
    recalc_ = false;
}

SIZE CDialogLayoutUI::EstimateSize(SIZE) {
    return SIZE{box_.Width(), box_.Height()};
}

void CDialogLayoutUI::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    RecalcArrangement();
    ProcessScrollbar(left, top, right, bottom, box_.Height(), 20);
    for (Entry& e : entries_) {
        // A recorded control may have been removed since.
        const bool present = std::any_of(items_.begin(), items_.end(),
                                         [&](const Item& i) { return i.control == e.control; });
        if (!present) continue;
        RECT r = e.rect;
        r.Offset(left, top - scrollPos_);
        e.control->SetPos(r);
    }
}

void CDialogLayoutUI::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    const RECT area = IntersectRect(pos_, paint);
    if (backColor_ != kNoColor) dc.FillRect(area, backColor_);
    // Without a colour, a child window lets its parent show through (see CUIManager::Paint).
    const QImage* background = nullptr;
    if (manager_ && !manager_->GetImage(0).isNull()) {
        background = &manager_->GetImage(0);
    } else if (manager_ && manager_->GetPaintWindow() && !manager_->GetPaintWindow()->IsChild()) {
        const QImage& def = UITheme::Get().Image(DefaultImage::DialogBackground);
        if (!def.isNull()) background = &def;
    }
    if (background) {
        if (background->width() == pos_.Width() && background->height() == pos_.Height()) {
            dc.DrawImage(pos_.left, pos_.top, *background);
        } else {
            DrawImage9Grid(dc, pos_.left, pos_.top, pos_.right, pos_.bottom, 0, 0,
                           background->width(), background->height(), background, false);
        }
    }
    CUIContainer::DoPaint(dc, paint);
}

}  // namespace vm
