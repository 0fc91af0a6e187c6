#include "skin/CUIControl.h"

#include <QPolygon>
#include <cstdlib>

#include "platform/Text.h"
#include "skin/CUIManager.h"

namespace vm {

CUIControl::~CUIControl() {
    if (m_manager) m_manager->ReapObjects(this);
}

void CUIControl::SetName(std::string_view name) {
    m_name = name;
    // A renamed control must be found under its new name.
    if (m_manager) m_manager->ResetNameTable();
}

void CUIControl::SetPolygon(const POINT* points, int count) {
    m_polygon.clear();
    AddPolygonPoints(points, count);
}

void CUIControl::AddPolygonPoints(const POINT* points, int count) {
    for (int i = 0; i < count; ++i) m_polygon.push_back(points[i]);
}

void* CUIControl::GetInterface(std::string_view name) {
    return name == "Control" ? this : nullptr;
}

bool CUIControl::Activate() {
    return IsVisible() && IsEnabled();
}

void CUIControl::SetText(std::string_view text) {
    m_text = text;
    Invalidate();
}

void CUIControl::SetFocus() {
    if (m_manager) m_manager->SetFocus(this);
}

void CUIControl::SetVisible(bool visible) {
    if (m_visible == visible) return;
    m_visible = visible;
    if (m_manager) m_manager->Invalidate();
}

void CUIControl::SetEnabled(bool enabled) {
    m_enabled = enabled;
    Invalidate();
}

bool CUIControl::FailsFindFilters(void* data, UINT flags) const {
    if ((flags & UIFIND_VISIBLE) && !IsVisible()) return true;
    if ((flags & UIFIND_ENABLED) && !IsEnabled()) return true;
    if (flags & UIFIND_HITTEST) {
        const POINT pt = *static_cast<const POINT*>(data);
        if (!m_pos.Contains(pt)) return true;
        if (!HitTest(pt.x, pt.y)) return true;
    }
    return false;
}

CUIControl* CUIControl::FindControl(FindControlProc proc, void* data, UINT flags) {
    if (FailsFindFilters(data, flags)) return nullptr;
    return proc(this, data);
}

bool CUIControl::HitTest(int x, int y) const {
    if (m_polygon.empty()) return true;
    QPolygon poly;
    for (const POINT& p : m_polygon) poly << QPoint(p.x, p.y);
    return poly.containsPoint(QPoint(x, y), Qt::OddEvenFill);
}

void CUIControl::SetManager(CUIManager* manager, CUIControl* parent) {
    const bool first = m_manager == nullptr;
    m_manager = manager;
    m_parent = parent;
    if (first && m_manager) Init();
}

void CUIControl::SetPos(int left, int top, int right, int bottom) {
    m_pos = RECT{left, top, right, bottom};
    Invalidate();
}

void CUIControl::Invalidate() {
    if (m_manager) m_manager->Invalidate(m_pos);
}

void CUIControl::Event(UIEvent& event) {
    switch (event.type) {
        case UIEventType::SetCursor:
            if (m_manager) m_manager->SetCursor(CursorKind::Arrow);
            return;
        case UIEventType::SetFocus:
            m_focused = true;
            Invalidate();
            return;
        case UIEventType::KillFocus:
            m_focused = false;
            Invalidate();
            return;
        case UIEventType::Timer:
            if (m_manager)
                m_manager->SendNotify(this, UINotifyCode::Timer, event.wParam, event.lParam);
            return;
        default:
            break;
    }
    // Unhandled events bubble up to the root.
    if (m_parent) m_parent->Event(event);
}

void CUIControl::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "pos") {
        // Four decimal numbers, each followed by one separator character.
        std::string s(value);
        const char* p = s.c_str();
        const char* end = p + s.size();
        int v[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4 && p < end; ++i) {
            char* next = nullptr;
            v[i] = static_cast<int>(std::strtol(p, &next, 10));
            p = next < end ? next + 1 : end;
        }
        SetPos(v[0], v[1], v[2], v[3]);
    } else if (name == "name") {
        SetName(value);
    } else if (name == "text") {
        SetText(value);
    } else if (name == "tooltip") {
        SetToolTip(value);
    } else if (name == "enabled") {
        SetEnabled(value == "true");
    } else if (name == "visible") {
        SetVisible(value == "true");
    } else if (name == "shortcut") {
        SetShortcut(value.empty() ? 0
                                  : static_cast<char16_t>(static_cast<unsigned char>(value[0])));
    }
}

}  // namespace vm
