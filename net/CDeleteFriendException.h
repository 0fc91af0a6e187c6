#pragma once

#include "net/CCommunityException.h"
#include "net/CommunityErrors.h"

namespace vm {

// Deleting a user who is not a friend, or deleting while nobody is logged in.
class CDeleteFriendException : public CCommunityException {
  public:
    CDeleteFriendException()
        : CCommunityException(kCommunityNotAFriend, CommunityErrorText(kCommunityNotAFriend)) {
        NoteCommunityError(kCommunityNotAFriend);
    }
};

}  // namespace vm
