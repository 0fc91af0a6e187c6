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
    // GetInterface("ScrollBar"). Until one is set, containers do not scroll.
    using ScrollBarFactory = std::function<std::unique_ptr<CUIControl>()>;
    static void SetScrollBarFactory(ScrollBarFactory factory);

    CUIContainer() = default;
    ~CUIContainer() override;

    // IContainerUI
    CUIControl* GetItem(int index) const override;
    int GetCount() const override { return static_cast<int>(items_.size()); }
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
    virtual void SetPadding(int padding) { padding_ = padding; }
    virtual void SetWidth(int width) { width_ = width; }
    virtual void SetHeight(int height) { height_ = height; }
    virtual void SetAutoDestroy(bool autoDestroy) { autoDestroy_ = autoDestroy; }
    virtual int FindSelectable(int index, bool forward);
    virtual int GetScrollPos() const { return scrollPos_; }
    virtual int GetScrollPage() const;
    virtual int GetScrollLine() const;
    virtual int GetScrollRange() const;
    virtual void SetScrollPos(int pos);
    virtual void EnableScrollBar(bool enable);
    virtual void ProcessScrollbar(int l, int t, int r, int b, int required, int line);

    void SetScrollBarSkin(std::optional<ScrollBarSkin> skin) { skin_ = std::move(skin); }
    CUIControl* GetScrollBar() const { return scrollBar_.get(); }
    const RECT& GetInset() const { return inset_; }

    // CUIControl
    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "ContainerUI"; }
    UINT GetControlFlags() const override { return 0; }
    SIZE EstimateSize(SIZE available) override { return SIZE{width_, height_}; }
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
    std::vector<Item> items_;
    RECT inset_;
    int padding_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool autoDestroy_ = true;
    bool scrollEnabled_ = false;
    std::unique_ptr<CUIControl> scrollBar_;
    int scrollPos_ = 0;
    std::optional<ScrollBarSkin> skin_;
};

}  // namespace vm
