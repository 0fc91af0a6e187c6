#pragma once

#include <memory>
#include <string>

#include "net/INotification.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vm {

// A notification as the community service describes it. Plain data.
class CPHPNotification : public INotification {
  public:
    int id = 0;
    int type = 0;
    std::string content;

    // From a "notification" element.
    static std::unique_ptr<CPHPNotification> FromElement(const tinyxml2::XMLElement& element);

    int GetId() const override { return id; }
    std::string GetContent() const override { return content; }
    void Reserved() override {}
    int GetType() const override { return type; }
};

}  // namespace vm
