#pragma once

#include "net/CCommunityException.h"
#include "net/CommunityErrors.h"

namespace vm {

// A friend request while nobody is logged in. Carries the "not logged in" code so that callers
// catching CCommunityException show the same text as for the service's own code 21.
class CAccessDeniedException : public CCommunityException {
  public:
    CAccessDeniedException()
        : CCommunityException(kCommunityNotLoggedIn, CommunityErrorText(kCommunityNotLoggedIn)) {
        NoteCommunityError(kCommunityNotLoggedIn);
    }
};

}  // namespace vm
