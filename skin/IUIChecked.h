#pragma once

namespace vm {

// Check modes of a button.
constexpr int UICHECK_PUSH = 0;
constexpr int UICHECK_CHECKBOX = 2;
constexpr int UICHECK_RADIO = 3;
constexpr int UICHECK_PUSHON = 4;  // a click checks and also activates

// The check part of a button (GetInterface("UIChecked")).
class IUIChecked {
  public:
    virtual ~IUIChecked() = default;
    virtual bool GetCheck() const = 0;
    virtual void SetCheck(bool checked) = 0;
    // Checking one control of the id range unchecks the others.
    virtual void SetGroupRange(int firstId, int lastId) = 0;
    virtual void SetCheckMode(int mode) = 0;
    virtual int GetCheckMode() const = 0;
};

}  // namespace vm
