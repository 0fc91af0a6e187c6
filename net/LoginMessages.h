#pragma once

// What the windows say when a passport login did not succeed: a refusal asks the player to
// check the name and password, an unreachable passport asks to check the network.

#include <string>

#include "net/Passport.h"

namespace vm {

// The logon dialog's message box text (skin markup).
std::string LogonFailureText(PassportFailure why);
// The main window's plain box after the automatic login at start-up failed.
std::string AutoLoginFailureText(PassportFailure why);

}  // namespace vm
