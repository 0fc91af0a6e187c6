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

    virtual const std::string& GetName() const { return name_; }
    virtual void SetName(std::string_view name);
    virtual int GetId() const { return id_; }
    virtual void SetId(int id) { id_ = id; }
    virtual void SetPolygon(const POINT* points, int count);
    virtual void AddPolygonPoints(const POINT* points, int count);
    // "Control" answers the control itself; subclasses answer further names ("Container",
    // "DialogLayout", "UIChecked", "ListItem", "ScrollBar") with the matching interface.
    virtual void* GetInterface(std::string_view name);
    virtual bool Activate();
    virtual CUIControl* GetParent() const { return parent_; }
    virtual const std::string& GetText() const { return text_; }
    virtual void SetText(std::string_view text);
    virtual const std::string& GetToolTip() const { return tooltip_; }
    virtual void SetToolTip(std::string_view text) { tooltip_ = text; }
    virtual char16_t GetShortcut() const { return shortcut_; }
    virtual void SetShortcut(char16_t ch) { shortcut_ = ch; }
    virtual std::uintptr_t GetTag() const { return tag_; }
    virtual void SetTag(std::uintptr_t tag) { tag_ = tag; }
    virtual void SetFocus();
    virtual bool IsVisible() const { return visible_; }
    virtual bool IsEnabled() const { return enabled_; }
    virtual bool IsFocused() const { return focused_; }
    virtual void SetVisible(bool visible);
    virtual void SetEnabled(bool enabled);
    virtual CUIControl* FindControl(FindControlProc proc, void* data, UINT flags);
    virtual bool HitTest(int x, int y) const;
    virtual CUIManager* GetManager() const { return manager_; }
    virtual void SetManager(CUIManager* manager, CUIControl* parent);
    virtual const RECT& GetPos() const { return pos_; }
    virtual void SetPos(int left, int top, int right, int bottom);
    virtual UINT GetControlFlags() const = 0;
    virtual void Init() {}
    virtual void Event(UIEvent& event);
    virtual void SetAttribute(std::string_view name, std::string_view value);
    virtual const char* GetClass() const = 0;
    virtual SIZE EstimateSize(SIZE available) = 0;
    virtual void DoPaint(CDC& dc, const RECT& paint) = 0;

    void SetPos(const RECT& r) { SetPos(r.left, r.top, r.right, r.bottom); }
    const std::vector<POINT>& GetPolygon() const { return polygon_; }
    // Repaints the control's rectangle.
    void Invalidate();

  protected:
    // Whether a filter of FindControl rejects this control.
    bool FailsFindFilters(void* data, UINT flags) const;

    CUIManager* manager_ = nullptr;
    CUIControl* parent_ = nullptr;
    char16_t shortcut_ = 0;
    std::string name_;
    std::string text_;
    std::string tooltip_;
    std::uintptr_t tag_ = 0;
    RECT pos_;
    std::vector<POINT> polygon_;
    bool visible_ = true;
    bool enabled_ = true;
    bool focused_ = false;
    int id_ = 0;
};

}  // namespace vm
