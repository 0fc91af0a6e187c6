#pragma once

#include "net/CCommunityException.h"

namespace vm {

// A community request failed on the network.
class CConnectionException : public CCommunityException {
  public:
    static constexpr int kCode = -2;
    CConnectionException() : CCommunityException(kCode, "连接服务器错误。") {}
};

}  // namespace vm
