#include "skin/CUIContainer.h"

#include <algorithm>
#include <cstdlib>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/CUIVScrollBar.h"

namespace vm {
namespace {
std::unique_ptr<CUIControl> MakeDefaultBar() {
    return std::make_unique<CUIVScrollBar>();
}

CUIContainer::ScrollBarFactory& Factory() {
    static CUIContainer::ScrollBarFactory factory = MakeDefaultBar;
    return factory;
}
}  // namespace

void CUIContainer::SetScrollBarFactory(ScrollBarFactory factory) {
    Factory() = factory ? std::move(factory) : CUIContainer::ScrollBarFactory(MakeDefaultBar);
}

CUIContainer::~CUIContainer() {
    // Children go first, while this container is still whole.
    m_scrollBar.reset();
    m_items.clear();
}

CUIControl* CUIContainer::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return m_items[static_cast<std::size_t>(index)].control;
}

CUIControl* CUIContainer::Add(std::unique_ptr<CUIControl> control) {
    if (!control) return nullptr;
    CUIControl* raw = control.get();
    if (m_manager) {
        m_manager->InitControls(raw, this);
        m_manager->Invalidate();
    } else {
        raw->SetManager(nullptr, this);
    }
    m_items.push_back(Item{raw, std::move(control)});
    return raw;
}

bool CUIContainer::AddBorrowed(CUIControl* control) {
    if (!control) return false;
    if (m_manager) {
        m_manager->InitControls(control, this);
        m_manager->Invalidate();
    } else {
        control->SetManager(nullptr, this);
    }
    m_items.push_back(Item{control, nullptr});
    return true;
}

bool CUIContainer::Remove(CUIControl* control) {
    if (!m_autoDestroy) return false;  // not ours to take away
    auto it = std::find_if(m_items.begin(), m_items.end(),
                           [&](const Item& i) { return i.control == control; });
    if (it == m_items.end()) return false;
    if (m_manager) {
        m_manager->ResetNameTable();
        m_manager->SetFocus(nullptr);
        m_manager->Invalidate();
    }
    std::unique_ptr<CUIControl> doomed = std::move(it->owned);
    m_items.erase(it);
    doomed.reset();
    return true;
}

void CUIContainer::RemoveAll() {
    // Children handed over with Add end here; borrowed ones are only let go.
    std::vector<Item> doomed;
    doomed.swap(m_items);
    doomed.clear();
    m_scrollBar.reset();
    m_scrollPos = 0;
    if (m_manager) {
        m_manager->ResetNameTable();
        m_manager->SetFocus(nullptr);
        m_manager->Invalidate();
    }
}

void CUIContainer::SetInset(int left, int top, int right, int bottom) {
    m_inset = RECT{left, top, right, bottom};
}

int CUIContainer::FindSelectable(int index, bool forward) {
    if (m_items.empty()) return -1;
    index = std::clamp(index, 0, GetCount() - 1);
    auto selectable = [&](int i) {
        CUIControl* c = GetItem(i);
        return c->GetInterface("ListItem") && c->IsVisible() && c->IsEnabled();
    };
    if (forward) {
        for (int i = index; i < GetCount(); ++i) {
            if (selectable(i)) return i;
        }
        return -1;
    }
    for (int i = index; i >= 0; --i) {
        if (selectable(i)) return i;
    }
    return FindSelectable(0, true);
}

IScrollBarUI* CUIContainer::Bar() const {
    return m_scrollBar ? static_cast<IScrollBarUI*>(m_scrollBar->GetInterface("ScrollBar"))
                       : nullptr;
}

int CUIContainer::GetScrollPage() const {
    IScrollBarUI* bar = Bar();
    return bar ? bar->GetPage() : 40;
}

int CUIContainer::GetScrollLine() const {
    IScrollBarUI* bar = Bar();
    return bar ? bar->GetLine() : 1;
}

int CUIContainer::GetScrollRange() const {
    IScrollBarUI* bar = Bar();
    if (!bar) return 0;
    int lo = 0, hi = 0;
    bar->GetRange(lo, hi);
    return hi;
}

void CUIContainer::SetScrollPos(int pos) {
    IScrollBarUI* bar = Bar();
    if (!bar) return;
    int lo = 0, hi = 0;
    bar->GetRange(lo, hi);
    pos = std::clamp(pos, lo, std::max(lo, hi - bar->GetPage()));
    bar->SetScrollPos(pos);
    m_scrollPos = bar->GetScrollPos();
    SetPos(m_pos);
    if (m_manager) m_manager->Invalidate(m_pos);
}

void CUIContainer::EnableScrollBar(bool enable) {
    if (m_scrollEnabled == enable) return;
    m_scrollEnabled = enable;
    m_scrollPos = 0;
}

void CUIContainer::ProcessScrollbar(int l, int t, int r, int b, int required, int line) {
    const int available = b - t;
    bool changed = false;
    if (required > available && m_scrollEnabled && !m_scrollBar && Factory()) {
        m_scrollBar = Factory()();
        if (m_scrollBar && !Bar()) m_scrollBar.reset();  // not a scroll bar after all
        if (m_scrollBar) {
            if (m_manager) {
                m_manager->InitControls(m_scrollBar.get(), this);
            } else {
                m_scrollBar->SetManager(nullptr, this);
            }
            Bar()->ApplySkin(m_skin ? &*m_skin : nullptr);
            changed = true;
        }
    }
    if (IScrollBarUI* bar = Bar()) {
        // The bar lies inside the container, along its right edge.
        const int w = bar->GetBarWidth();
        m_scrollBar->SetPos(r - w, t, r, b);
        int lo = 0, hi = 0;
        bar->GetRange(lo, hi);
        if (hi != required) {
            if (required < 0) SetScrollPos(0);
            bar->SetRange(0, std::max(0, required));
        }
        bar->SetPage(available);
        bar->SetLine(line);
        const int maxPos = std::max(0, required - available);
        if (m_scrollPos > maxPos) {
            bar->SetScrollPos(maxPos);
            m_scrollPos = maxPos;
        }
        if (available >= required) {
            m_scrollBar.reset();
            m_scrollPos = 0;
            changed = true;
        }
    }
    if (changed) SetPos(m_pos);
}

void* CUIContainer::GetInterface(std::string_view name) {
    if (name == "Container") return static_cast<IContainerUI*>(this);
    return CUIControl::GetInterface(name);
}

void CUIContainer::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    if (m_items.empty()) return;
    RECT rc = m_pos;
    rc.Deflate(m_inset.left, m_inset.top, m_inset.right, m_inset.bottom);
    m_items.front().control->SetPos(rc);
}

void CUIContainer::PaintChildren(CDC& dc, const RECT& paint) {
    for (const Item& item : m_items) {
        CUIControl* c = item.control;
        if (!c->IsVisible()) continue;
        if (!RectsMeet(c->GetPos(), paint) || !RectsMeet(c->GetPos(), m_pos)) continue;
        c->DoPaint(dc, paint);
    }
    // The bar last, so children never cover it.
    if (m_scrollBar && m_scrollBar->IsVisible()) m_scrollBar->DoPaint(dc, paint);
}

void CUIContainer::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(m_pos);
    PaintChildren(dc, paint);
    dc.RestoreDC();
}

void CUIContainer::SetVisible(bool visible) {
    CUIControl::SetVisible(visible);
    if (m_scrollBar) m_scrollBar->SetVisible(visible);
    for (const Item& item : m_items) item.control->SetVisible(visible);
}

void CUIContainer::SetManager(CUIManager* manager, CUIControl* parent) {
    if (m_scrollBar) m_scrollBar->SetManager(manager, this);
    for (const Item& item : m_items) item.control->SetManager(manager, this);
    CUIControl::SetManager(manager, parent);
}

CUIControl* CUIContainer::FindControl(FindControlProc proc, void* data, UINT flags) {
    if (FailsFindFilters(data, flags)) return nullptr;
    if (flags & UIFIND_ME_FIRST) {
        if (CUIControl* me = proc(this, data)) return me;
    }
    if (m_scrollBar) {
        if (CUIControl* c = m_scrollBar->FindControl(proc, data, flags)) return c;
    }
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (CUIControl* c = m_items[i].control->FindControl(proc, data, flags)) return c;
    }
    // With "me first" the container was asked already.
    if (flags & UIFIND_ME_FIRST) return nullptr;
    return proc(this, data);
}

void CUIContainer::Event(UIEvent& event) {
    if (IScrollBarUI* bar = Bar()) {
        if (event.type == UIEventType::VScroll) {
            switch (event.wParam) {
                case 2:
                    SetScrollPos(GetScrollPos() - GetScrollPage());
                    return;
                case 3:
                    SetScrollPos(GetScrollPos() + GetScrollPage());
                    return;
                default:
                    SetScrollPos(bar->GetScrollPos());
                    return;
            }
        }
        if (event.type == UIEventType::KeyDown) {
            switch (event.key) {
                case VK_PRIOR:
                    SetScrollPos(GetScrollPos() - GetScrollPage());
                    return;
                case VK_NEXT:
                    SetScrollPos(GetScrollPos() + GetScrollPage());
                    return;
                case VK_HOME:
                    SetScrollPos(0);
                    return;
                case VK_END:
                    SetScrollPos(9999);
                    return;
                case VK_UP:
                    SetScrollPos(GetScrollPos() - GetScrollLine());
                    return;
                case VK_DOWN:
                    SetScrollPos(GetScrollPos() + GetScrollLine());
                    return;
                default:
                    break;
            }
        }
    }
    CUIControl::Event(event);
}

void CUIContainer::SetAttribute(std::string_view name, std::string_view value) {
    const int n = std::atoi(std::string(value).c_str());
    if (name == "inset") {
        SetInset(n, n, n, n);
    } else if (name == "padding") {
        SetPadding(n);
    } else if (name == "width") {
        SetWidth(n);
    } else if (name == "height") {
        SetHeight(n);
    } else if (name == "scrollbar") {
        EnableScrollBar(value == "true");
    } else {
        CUIControl::SetAttribute(name, value);
    }
}

}  // namespace vm
