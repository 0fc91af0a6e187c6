#include "net/CPHPNotification.h"

#include <tinyxml2.h>

#include "net/CommunityResult.h"

namespace vm {

std::unique_ptr<CPHPNotification> CPHPNotification::FromElement(
    const tinyxml2::XMLElement& element) {
    auto n = std::make_unique<CPHPNotification>();
    element.QueryIntAttribute("id", &n->id);
    element.QueryIntAttribute("type", &n->type);
    n->content = AttributeText(element, "content");
    return n;
}

}  // namespace vm
