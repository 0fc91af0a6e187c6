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
    if (!m_recalc) return;
    for (const Item& item : m_items) {
        const bool known = std::any_of(m_entries.begin(), m_entries.end(),
                                       [&](const Entry& e) { return e.control == item.control; });
        if (!known) m_entries.push_back(Entry{item.control, 0, item.control->GetPos()});
    }
    RECT box{9999, 9999, 0, 0};
    for (const Item& item : m_items) {
        const RECT& r = item.control->GetPos();
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    if (m_items.empty()) box = RECT{};
    for (Entry& e : m_entries) e.rect.Offset(-box.left, -box.top);
    m_box = box;
    m_recalc = false;
}

SIZE CDialogLayoutUI::EstimateSize(SIZE) {
    return SIZE{m_box.Width(), m_box.Height()};
}

void CDialogLayoutUI::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    RecalcArrangement();
    ProcessScrollbar(left, top, right, bottom, m_box.Height(), 20);
    for (Entry& e : m_entries) {
        // A recorded control may have been removed since.
        const bool present = std::any_of(m_items.begin(), m_items.end(),
                                         [&](const Item& i) { return i.control == e.control; });
        if (!present) continue;
        RECT r = e.rect;
        r.Offset(left, top - m_scrollPos);
        e.control->SetPos(r);
    }
}

void CDialogLayoutUI::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    const RECT area = IntersectRect(m_pos, paint);
    if (m_backColor != kNoColor) dc.FillRect(area, m_backColor);
    // Without a colour, a child window lets its parent show through (see CUIManager::Paint).
    const QImage* background = nullptr;
    if (m_manager && !m_manager->GetImage(0).isNull()) {
        background = &m_manager->GetImage(0);
    } else if (m_manager && m_manager->GetPaintWindow() &&
               !m_manager->GetPaintWindow()->IsChild()) {
        const QImage& def = UITheme::Get().Image(DefaultImage::DialogBackground);
        if (!def.isNull()) background = &def;
    }
    if (background) {
        if (background->width() == m_pos.Width() && background->height() == m_pos.Height()) {
            dc.DrawImage(m_pos.left, m_pos.top, *background);
        } else {
            DrawImage9Grid(dc, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, 0, 0,
                           background->width(), background->height(), background, false);
        }
    }
    CUIContainer::DoPaint(dc, paint);
}

}  // namespace vm
