#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/Guarded.h"

namespace vm {

// The passport login and session. PassportLogin runs on the calling thread (the logon dialog
// and the automatic login call it on the UI thread; the command line on its main thread).

constexpr int kRememberCookieSeconds = 157680000;  // five years

// What the passport server said about the logged-in account. Its lock is AccountTextLock:
// every read and write goes through Get/Set/With.
Guarded<std::string>& PassportAccountText();

// What the account check takes as the account's name: UTF-8 of at most kMaxAccountNameBytes,
// without control characters or markup ("<", ">", "&").
inline constexpr std::size_t kMaxAccountNameBytes = 128;
bool IsPlausibleAccountName(std::string_view text);

// Whole-text match of the e-mail pattern the community login is chosen by.
bool IsEmailAddress(std::string_view text);

// Logs in with both texts given, or asks "checkuser" when either is nullopt; true when the
// answer begins with "login success". cookieSeconds 0 asks for session cookies only, which
// are then also kept in SessionCookieList. Success posts WM_VM_ACCOUNT_CHANGED to the main
// window and logs in to the community service (its failures do not change the result).
bool PassportLogin(const std::optional<std::string>& userName,
                   const std::optional<std::string>& password, int cookieSeconds);

// Why the last PassportLogin on the calling thread did not log in: the server said no, or it
// could not be reached (no answer at all), which a player mends differently.
enum class PassportFailure { None, Refused, Unreachable };
PassportFailure LastPassportFailure();

// Ends the session: the passport cookies leave the store (and the jar), the session list and
// the account text are emptied, and the community service is logged out.
void PassportLogout();

// The [Guest] settings the logon dialog writes after a successful login. Auto-login forces
// remember; remembering stores the credentials protected, otherwise they are erased.
struct LogonChoice {
    bool remember = false;
    bool autoLogin = false;
};
void StoreLogonChoice(const std::string& userName, const std::string& password, LogonChoice choice);

// The stored credentials ([Guest] Door/Key), unprotected; nullopt when either is empty.
// A value that cannot be opened reads as "error!".
struct StoredCredentials {
    std::string userName;
    std::string password;
};
std::optional<StoredCredentials> LoadStoredCredentials();

}  // namespace vm
