#pragma once

#include <string>

namespace vm {

// A game character of a community user. Owned by whoever handed it out (the logged-in user's
// character list, or the user whose primary character it is).
class ICharacter {
  public:
    virtual ~ICharacter() = default;
    virtual std::string GetRegion() const = 0;
    virtual std::string GetRealm() const = 0;
    virtual std::string GetName() const = 0;
    virtual std::string GetGender() const = 0;
    virtual std::string GetFaction() const = 0;
    virtual std::string GetClass() const = 0;
    virtual std::string GetRace() const = 0;
    virtual int IsPrimary() const = 0;
    // Makes this the logged-in user's primary character. Throws CCharacterException when
    // nobody is logged in, CConnectionException on a network failure.
    virtual void SetPrimary() = 0;
};

}  // namespace vm
