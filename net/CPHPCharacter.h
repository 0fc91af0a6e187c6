#pragma once

#include <memory>
#include <string>

#include "net/ICharacter.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vm {

// A character as the community service describes it. Plain data; copies are independent.
class CPHPCharacter : public ICharacter {
  public:
    std::string region, realm, name, gender, faction, characterClass, race;
    int isPrimary = 0;

    // From a "character" element.
    static std::unique_ptr<CPHPCharacter> FromElement(const tinyxml2::XMLElement& element);
    // The primary character carried by a user element (character_* attributes); null unless
    // region, realm and name are all given.
    static std::unique_ptr<CPHPCharacter> FromUserElement(const tinyxml2::XMLElement& element);

    // Same region, realm and name.
    bool SameAs(const std::string& otherRegion, const std::string& otherRealm,
                const std::string& otherName) const;

    std::string GetRegion() const override { return region; }
    std::string GetRealm() const override { return realm; }
    std::string GetName() const override { return name; }
    std::string GetGender() const override { return gender; }
    std::string GetFaction() const override { return faction; }
    std::string GetClass() const override { return characterClass; }
    std::string GetRace() const override { return race; }
    int IsPrimary() const override { return isPrimary; }
    void SetPrimary() override;
};

}  // namespace vm
