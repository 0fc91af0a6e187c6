#pragma once

#include "skin/CUIContainer.h"

namespace vm {

// A container that lays out and paints like CUIContainer; the base of the group box.
class CCanvasUI : public CUIContainer {
  public:
    const char* GetClass() const override { return "CanvasUI"; }
};

}  // namespace vm
