#pragma once

#include "skin/UINotify.h"

namespace vm {

// A window listening to the notifications of its controls.
class INotifyUI {
  public:
    virtual ~INotifyUI() = default;
    virtual void Notify(UINotify& notify) = 0;
};

}  // namespace vm
