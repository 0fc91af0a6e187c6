#pragma once

#include "net/CCommunityException.h"
#include "net/CommunityErrors.h"

namespace vm {

// Adding a friend failed: the service's result code, or 101 (oneself) and 100 (already a
// friend) found before asking the service.
class CAddFriendException : public CCommunityException {
  public:
    explicit CAddFriendException(int code) : CCommunityException(code, CommunityErrorText(code)) {
        NoteCommunityError(code);
    }
};

}  // namespace vm
