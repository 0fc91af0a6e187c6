#pragma once

// Base of every windowless control. A control belongs to one CUIManager (set when it joins a
// tree) and is owned by its container (or, for the root, by the manager); destroying it tells
// the manager to forget it. UI thread only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "skin/UIEvent.h"
#include "skin/UINotify.h"
#include "skin/WinTypes.h"

namespace vm {

class CDC;
class CUIManager;

// Tree-search flags.
constexpr UINT UIFIND_VISIBLE = 0x1;
constexpr UINT UIFIND_ENABLED = 0x2;
constexpr UINT UIFIND_HITTEST = 0x4;
constexpr UINT UIFIND_ME_FIRST = 0x80000000;

// Control flags.
constexpr UINT UIFLAG_TABSTOP = 0x1;
constexpr UINT UIFLAG_SETCURSOR = 0x2;
constexpr UINT UIFLAG_WANTRETURN = 0x4;

// Returns the control when it is the one searched for, else null. Under UIFIND_HITTEST `data`
// points at the POINT.
using FindControlProc = CUIControl* (*)(CUIControl* control, void* data);

class CUIControl {
  public:
    CUIControl() = default;
    CUIControl(const CUIControl&) = delete;
    CUIControl& operator=(const CUIControl&) = delete;

    // Called with every notification this control sends, before the listeners.
    virtual void OnNotify(UINotify& notify) {}
    virtual ~CUIControl();

    virtual const std::string& GetName() const { return m_name; }
    virtual void SetName(std::string_view name);
    virtual int GetId() const { return m_id; }
    virtual void SetId(int id) { m_id = id; }
    virtual void SetPolygon(const POINT* points, int count);
    virtual void AddPolygonPoints(const POINT* points, int count);
    // "Control" answers the control itself; subclasses answer further names ("Container",
    // "DialogLayout", "UIChecked", "ListItem", "ScrollBar") with the matching interface.
    virtual void* GetInterface(std::string_view name);
    virtual bool Activate();
    virtual CUIControl* GetParent() const { return m_parent; }
    virtual const std::string& GetText() const { return m_text; }
    virtual void SetText(std::string_view text);
    virtual const std::string& GetToolTip() const { return m_tooltip; }
    virtual void SetToolTip(std::string_view text) { m_tooltip = text; }
    virtual char16_t GetShortcut() const { return m_shortcut; }
    virtual void SetShortcut(char16_t ch) { m_shortcut = ch; }
    virtual std::uintptr_t GetTag() const { return m_tag; }
    virtual void SetTag(std::uintptr_t tag) { m_tag = tag; }
    virtual void SetFocus();
    virtual bool IsVisible() const { return m_visible; }
    virtual bool IsEnabled() const { return m_enabled; }
    virtual bool IsFocused() const { return m_focused; }
    virtual void SetVisible(bool visible);
    virtual void SetEnabled(bool enabled);
    virtual CUIControl* FindControl(FindControlProc proc, void* data, UINT flags);
    virtual bool HitTest(int x, int y) const;
    virtual CUIManager* GetManager() const { return m_manager; }
    virtual void SetManager(CUIManager* manager, CUIControl* parent);
    virtual const RECT& GetPos() const { return m_pos; }
    virtual void SetPos(int left, int top, int right, int bottom);
    virtual UINT GetControlFlags() const = 0;
    virtual void Init() {}
    virtual void Event(UIEvent& event);
    virtual void SetAttribute(std::string_view name, std::string_view value);
    virtual const char* GetClass() const = 0;
    virtual SIZE EstimateSize(SIZE available) = 0;
    virtual void DoPaint(CDC& dc, const RECT& paint) = 0;

    void SetPos(const RECT& r) { SetPos(r.left, r.top, r.right, r.bottom); }
    const std::vector<POINT>& GetPolygon() const { return m_polygon; }
    // Repaints the control's rectangle.
    void Invalidate();

  protected:
    // Whether a filter of FindControl rejects this control.
    bool FailsFindFilters(void* data, UINT flags) const;

    CUIManager* m_manager = nullptr;
    CUIControl* m_parent = nullptr;
    char16_t m_shortcut = 0;
    std::string m_name;
    std::string m_text;
    std::string m_tooltip;
    std::uintptr_t m_tag = 0;
    RECT m_pos;
    std::vector<POINT> m_polygon;
    bool m_visible = true;
    bool m_enabled = true;
    bool m_focused = false;
    int m_id = 0;
};

}  // namespace vm
