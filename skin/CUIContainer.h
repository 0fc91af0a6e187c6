#pragma once

// The plain container: a single-child frame (subclasses lay out all children) with an
// optional vertical scroll bar. Owns the children given to Add; UI thread only.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "skin/CUIControl.h"
#include "skin/IContainerUI.h"
#include "skin/IScrollBarUI.h"

namespace vm {

class CUIContainer : public CUIControl, public IContainerUI {
  public:
    // Makes the bar control of a container whose content outgrew it; it must answer
    // GetInterface("ScrollBar"). Null brings back the default, a CUIVScrollBar.
    using ScrollBarFactory = std::function<std::unique_ptr<CUIControl>()>;
    static void SetScrollBarFactory(ScrollBarFactory factory);

    CUIContainer() = default;
    ~CUIContainer() override;

    // IContainerUI
    CUIControl* GetItem(int index) const override;
    int GetCount() const override { return static_cast<int>(m_items.size()); }
    CUIControl* Add(std::unique_ptr<CUIControl> control) override;
    bool AddBorrowed(CUIControl* control) override;
    bool Remove(CUIControl* control) override;
    void RemoveAll() override;

    // Adds a new control of type T and returns it.
    template <typename T, typename... Args>
    T* AddNew(Args&&... args) {
        auto owned = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = owned.get();
        Add(std::move(owned));
        return raw;
    }

    virtual void SetInset(int left, int top, int right, int bottom);
    virtual void SetInset(int cx, int cy) { SetInset(cx, cy, cx, cy); }
    virtual void SetPadding(int padding) { m_padding = padding; }
    virtual void SetWidth(int width) { m_width = width; }
    virtual void SetHeight(int height) { m_height = height; }
    virtual void SetAutoDestroy(bool autoDestroy) { m_autoDestroy = autoDestroy; }
    virtual int FindSelectable(int index, bool forward);
    virtual int GetScrollPos() const { return m_scrollPos; }
    virtual int GetScrollPage() const;
    virtual int GetScrollLine() const;
    virtual int GetScrollRange() const;
    virtual void SetScrollPos(int pos);
    virtual void EnableScrollBar(bool enable);
    virtual void ProcessScrollbar(int l, int t, int r, int b, int required, int line);

    void SetScrollBarSkin(std::optional<ScrollBarSkin> skin) { m_skin = std::move(skin); }
    CUIControl* GetScrollBar() const { return m_scrollBar.get(); }
    const RECT& GetInset() const { return m_inset; }

    // CUIControl
    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "ContainerUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE available) override { return SIZE{m_width, m_height}; }
    void SetPos(int left, int top, int right, int bottom) override;
    void DoPaint(CDC& dc, const RECT& paint) override;
    void SetVisible(bool visible) override;
    void SetManager(CUIManager* manager, CUIControl* parent) override;
    CUIControl* FindControl(FindControlProc proc, void* data, UINT flags) override;
    void Event(UIEvent& event) override;
    void SetAttribute(std::string_view name, std::string_view value) override;
    using CUIControl::SetPos;

  protected:
    // Paints the visible children that meet both `paint` and the container.
    void PaintChildren(CDC& dc, const RECT& paint);
    IScrollBarUI* Bar() const;

    struct Item {
        CUIControl* control;
        std::unique_ptr<CUIControl> owned;  // null for borrowed children
    };
    std::vector<Item> m_items;
    RECT m_inset;
    int m_padding = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_autoDestroy = true;
    bool m_scrollEnabled = false;
    std::unique_ptr<CUIControl> m_scrollBar;
    int m_scrollPos = 0;
    std::optional<ScrollBarSkin> m_skin;
};

}  // namespace vm
