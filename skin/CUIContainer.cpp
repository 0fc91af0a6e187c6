#include "skin/CUIContainer.h"

#include <algorithm>
#include <cstdlib>

#include "skin/CDC.h"
#include "skin/CUIManager.h"

namespace vm {
namespace {
CUIContainer::ScrollBarFactory& Factory() {
    static CUIContainer::ScrollBarFactory factory;
    return factory;
}
}  // namespace

void CUIContainer::SetScrollBarFactory(ScrollBarFactory factory) {
    Factory() = std::move(factory);
}

CUIContainer::~CUIContainer() {
    // Children go first, while this container is still whole.
    scrollBar_.reset();
    items_.clear();
}

CUIControl* CUIContainer::GetItem(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return items_[static_cast<std::size_t>(index)].control;
}

CUIControl* CUIContainer::Add(std::unique_ptr<CUIControl> control) {
    if (!control) return nullptr;
    CUIControl* raw = control.get();
    if (manager_) {
        manager_->InitControls(raw, this);
        manager_->Invalidate();
    } else {
        raw->SetManager(nullptr, this);
    }
    items_.push_back(Item{raw, std::move(control)});
    return raw;
}

bool CUIContainer::AddBorrowed(CUIControl* control) {
    if (!control) return false;
    if (manager_) {
        manager_->InitControls(control, this);
        manager_->Invalidate();
    } else {
        control->SetManager(nullptr, this);
    }
    items_.push_back(Item{control, nullptr});
    return true;
}

bool CUIContainer::Remove(CUIControl* control) {
    if (!autoDestroy_) return false;  // not ours to take away
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const Item& i) { return i.control == control; });
    if (it == items_.end()) return false;
    if (manager_) {
        manager_->ResetNameTable();
        manager_->SetFocus(nullptr);
        manager_->Invalidate();
    }
    std::unique_ptr<CUIControl> doomed = std::move(it->owned);
    items_.erase(it);
    doomed.reset();
    return true;
}

void CUIContainer::RemoveAll() {
    // Children handed over with Add end here; borrowed ones are only let go.
    std::vector<Item> doomed;
    doomed.swap(items_);
    doomed.clear();
    scrollBar_.reset();
    scrollPos_ = 0;
    if (manager_) {
        manager_->ResetNameTable();
        manager_->SetFocus(nullptr);
        manager_->Invalidate();
    }
}

void CUIContainer::SetInset(int left, int top, int right, int bottom) {
    inset_ = RECT{left, top, right, bottom};
}

int CUIContainer::FindSelectable(int index, bool forward) {
    if (items_.empty()) return -1;
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
    return scrollBar_ ? static_cast<IScrollBarUI*>(scrollBar_->GetInterface("ScrollBar")) : nullptr;
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
    scrollPos_ = bar->GetScrollPos();
    SetPos(pos_);
    if (manager_) manager_->Invalidate(pos_);
}

void CUIContainer::EnableScrollBar(bool enable) {
    if (scrollEnabled_ == enable) return;
    scrollEnabled_ = enable;
    scrollPos_ = 0;
}

void CUIContainer::ProcessScrollbar(int l, int t, int r, int b, int required, int line) {
    const int available = b - t;
    bool changed = false;
    if (required > available && scrollEnabled_ && !scrollBar_ && Factory()) {
        scrollBar_ = Factory()();
        if (scrollBar_ && !Bar()) scrollBar_.reset();  // not a scroll bar after all
        if (scrollBar_) {
            if (manager_) {
                manager_->InitControls(scrollBar_.get(), this);
            } else {
                scrollBar_->SetManager(nullptr, this);
            }
            Bar()->ApplySkin(skin_ ? &*skin_ : nullptr);
            changed = true;
        }
    }
    if (IScrollBarUI* bar = Bar()) {
        // The bar lies inside the container, along its right edge.
        const int w = bar->GetBarWidth();
        scrollBar_->SetPos(r - w, t, r, b);
        int lo = 0, hi = 0;
        bar->GetRange(lo, hi);
        if (hi != required) {
            if (required < 0) SetScrollPos(0);
            bar->SetRange(0, std::max(0, required));
        }
        bar->SetPage(available);
        bar->SetLine(line);
        const int maxPos = std::max(0, required - available);
        if (scrollPos_ > maxPos) {
            bar->SetScrollPos(maxPos);
            scrollPos_ = maxPos;
        }
        if (available >= required) {
            scrollBar_.reset();
            scrollPos_ = 0;
            changed = true;
        }
    }
    if (changed) SetPos(pos_);
}

void* CUIContainer::GetInterface(std::string_view name) {
    if (name == "Container") return static_cast<IContainerUI*>(this);
    return CUIControl::GetInterface(name);
}

void CUIContainer::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    if (items_.empty()) return;
    RECT rc = pos_;
    rc.Deflate(inset_.left, inset_.top, inset_.right, inset_.bottom);
    items_.front().control->SetPos(rc);
}

void CUIContainer::PaintChildren(CDC& dc, const RECT& paint) {
    for (const Item& item : items_) {
        CUIControl* c = item.control;
        if (!c->IsVisible()) continue;
        if (!RectsMeet(c->GetPos(), paint) || !RectsMeet(c->GetPos(), pos_)) continue;
        c->DoPaint(dc, paint);
    }
    // The bar last, so children never cover it.
    if (scrollBar_ && scrollBar_->IsVisible()) scrollBar_->DoPaint(dc, paint);
}

void CUIContainer::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(pos_);
    PaintChildren(dc, paint);
    dc.RestoreDC();
}

void CUIContainer::SetVisible(bool visible) {
    CUIControl::SetVisible(visible);
    if (scrollBar_) scrollBar_->SetVisible(visible);
    for (const Item& item : items_) item.control->SetVisible(visible);
}

void CUIContainer::SetManager(CUIManager* manager, CUIControl* parent) {
    if (scrollBar_) scrollBar_->SetManager(manager, this);
    for (const Item& item : items_) item.control->SetManager(manager, this);
    CUIControl::SetManager(manager, parent);
}

CUIControl* CUIContainer::FindControl(FindControlProc proc, void* data, UINT flags) {
    if (FailsFindFilters(data, flags)) return nullptr;
    if (flags & UIFIND_ME_FIRST) {
        if (CUIControl* me = proc(this, data)) return me;
    }
    if (scrollBar_) {
        if (CUIControl* c = scrollBar_->FindControl(proc, data, flags)) return c;
    }
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (CUIControl* c = items_[i].control->FindControl(proc, data, flags)) return c;
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
