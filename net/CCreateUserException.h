#pragma once

#include "net/CCommunityException.h"
#include "net/CommunityErrors.h"

namespace vm {

// Creating a community account failed; the code is the service's result code.
class CCreateUserException : public CCommunityException {
  public:
    explicit CCreateUserException(int code) : CCommunityException(code, CommunityErrorText(code)) {
        NoteCommunityError(code);
    }
};

}  // namespace vm
