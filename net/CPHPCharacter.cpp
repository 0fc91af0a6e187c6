#include "net/CPHPCharacter.h"

#include <tinyxml2.h>

#include "net/CCharacterException.h"
#include "net/CPHPServer.h"
#include "net/CommunityResult.h"

namespace vm {

std::unique_ptr<CPHPCharacter> CPHPCharacter::FromElement(const tinyxml2::XMLElement& element) {
    auto c = std::make_unique<CPHPCharacter>();
    c->region = AttributeText(element, "region");
    c->realm = AttributeText(element, "realm");
    c->name = AttributeText(element, "name");
    c->gender = AttributeText(element, "gender");
    c->faction = AttributeText(element, "faction");
    c->characterClass = AttributeText(element, "class");
    c->race = AttributeText(element, "race");
    element.QueryIntAttribute("isPrimary", &c->isPrimary);
    return c;
}

std::unique_ptr<CPHPCharacter> CPHPCharacter::FromUserElement(const tinyxml2::XMLElement& element) {
    auto c = std::make_unique<CPHPCharacter>();
    c->region = AttributeText(element, "character_region");
    c->realm = AttributeText(element, "character_realm");
    c->name = AttributeText(element, "character_name");
    if (c->region.empty() || c->realm.empty() || c->name.empty()) return nullptr;
    c->gender = AttributeText(element, "character_gender");
    c->faction = AttributeText(element, "character_faction");
    c->characterClass = AttributeText(element, "character_class");
    c->race = AttributeText(element, "character_race");
    return c;
}

bool CPHPCharacter::SameAs(const std::string& otherRegion, const std::string& otherRealm,
                           const std::string& otherName) const {
    return region == otherRegion && realm == otherRealm && name == otherName;
}

void CPHPCharacter::SetPrimary() {
    CPHPServer& server = *GetServer();
    if (!server.GetLoginUser()) throw CCharacterException();
    server.SetPrimaryCharacter(*this);
}

}  // namespace vm
