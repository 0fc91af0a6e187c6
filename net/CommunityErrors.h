#pragma once

#include <string>

namespace vm {

// The community service's result codes and the texts the program shows for them.
constexpr int kCommunityNotLoggedIn = 21;
constexpr int kCommunityAlreadyFriend = 100;
constexpr int kCommunityNotOnYourself = 101;
constexpr int kCommunityNotAFriend = -4;

// The text for code; "未知错误！" for a code the table does not hold.
std::string CommunityErrorText(int code);

// Stores code as the last error of the community client, when one exists. Every community
// exception does this on creation, so GetLastError names the failure a caller just caught.
void NoteCommunityError(int code);

}  // namespace vm
