#pragma once

#include <memory>

namespace vm {

class CUIControl;

// The child list of a container (GetInterface("Container")).
class IContainerUI {
  public:
    virtual ~IContainerUI() = default;
    virtual CUIControl* GetItem(int index) const = 0;  // null when out of range
    virtual int GetCount() const = 0;
    // Takes the child; returns it (null when refused).
    virtual CUIControl* Add(std::unique_ptr<CUIControl> control) = 0;
    // Adds a child owned elsewhere (for containers that do not own their children); it must
    // not outlive the window's manager.
    virtual bool AddBorrowed(CUIControl* control) = 0;
    virtual bool Remove(CUIControl* control) = 0;
    virtual void RemoveAll() = 0;
};

}  // namespace vm
