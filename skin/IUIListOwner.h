#pragma once

namespace vm {

struct UIEvent;

// A control that selects one of its items (the page sheet).
class IUIListOwner {
  public:
    virtual ~IUIListOwner() = default;
    virtual int GetCurSel() const = 0;
    virtual bool SelectItem(int index) = 0;
    virtual bool ExpandItem(int) { return false; }
    virtual void ListEvent(UIEvent& event) = 0;
};

}  // namespace vm
