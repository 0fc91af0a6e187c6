#pragma once

#include <string>

namespace vm {

// One notification of the logged-in user; owned by that user's notification list.
class INotification {
  public:
    virtual ~INotification() = default;
    virtual int GetId() const = 0;
    virtual std::string GetContent() const = 0;
    // The service offers nothing behind this; kept so callers of the interface stay as they are.
    virtual void Reserved() = 0;
    virtual int GetType() const = 0;
};

}  // namespace vm
