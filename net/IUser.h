#pragma once

#include <cstdint>
#include <string>

#include "net/ICharacter.h"

namespace vm {

// Whether a cached value may be used or must be fetched again.
enum class Refresh { IfNeeded, Force };

// A community user. The objects are owned by the community client (its user cache, the
// logged-in user's lists) or, for search results, by the caller. Not thread-safe: one thread
// at a time. Operations that ask the service throw CConnectionException on a network failure.
class IUser {
  public:
    virtual ~IUser() = default;
    virtual std::uint32_t GetId() const = 0;
    virtual std::string GetUserName() const = 0;
    virtual std::string GetEmail() const = 0;
    virtual int GetState() const = 0;
    virtual int GetLevel() const = 0;
    // The user's picture at pixelSize; empty when the service has none.
    virtual std::string GetAvatar(int pixelSize) = 0;
    // Null when the user has none. Owned by this user.
    virtual ICharacter* GetPrimaryCharacter() = 0;
    // Asks the logged-in user's friendship of this user. Throws CAccessDeniedException when
    // nobody is logged in, CAddFriendException (101 oneself, 100 already a friend, or the
    // service's code).
    virtual void AddFriend(const std::string& message) = 0;
    // Ends the friendship with this user; throws CDeleteFriendException when this user is no
    // friend of the logged-in user. A friend from the friend list is deleted by this call.
    virtual void DeleteFriend() = 0;
    // The forum level record, fetched when not known yet or when forced.
    virtual void GetLevelInfo(std::string& level, int& current, int& maximum, Refresh refresh) = 0;
    virtual int GetGroupId(Refresh refresh) = 0;
    virtual void GetTip(std::string& tip, Refresh refresh) = 0;
};

}  // namespace vm
