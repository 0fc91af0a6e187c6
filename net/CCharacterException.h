#pragma once

#include "net/CCommunityException.h"
#include "net/CommunityErrors.h"

namespace vm {

// A character operation that needs a logged-in user was called while nobody is logged in.
class CCharacterException : public CCommunityException {
  public:
    CCharacterException()
        : CCommunityException(kCommunityNotLoggedIn, CommunityErrorText(kCommunityNotLoggedIn)) {
        NoteCommunityError(kCommunityNotLoggedIn);
    }
};

}  // namespace vm
