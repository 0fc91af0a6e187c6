#pragma once

#include <cstdint>
#include <string>

#include "net/ILoginUser.h"
#include "net/IUser.h"

namespace vm {

// The community web service as the rest of the program sees it. Operations that ask the
// service throw CConnectionException (code -2) on a network failure unless they say
// otherwise; a failure answer sets the last error, whose text GetErrorText gives.
class IServer {
  public:
    virtual ~IServer() = default;
    // Null when the service does not know the user. Owned by the client's user cache.
    virtual IUser* GetUserInfo(std::uint32_t uid) = 0;
    // The verification-code picture; empty on failure.
    virtual std::string GetVerifyCode() = 0;
    // 1, or throws CCreateUserException with the service's code.
    virtual int CreateUser(const std::string& userName, const std::string& email,
                           const std::string& password, const std::string& question,
                           const std::string& answer, const std::string& verifyCode) = 0;
    // The logged-in user (the one held before when the service refuses); userName may be empty
    // when email is given.
    virtual ILoginUser* Login(const std::string& userName, const std::string& email,
                              const std::string& password, bool remember) = 0;
    // Null when nobody is logged in; never throws.
    virtual ILoginUser* GetLoginUser() = 0;
    // Logs out and destroys the client; the next GetServer makes a new one.
    virtual void Release() = 0;
    // Never throws. Drops the logged-in user and every cached user.
    virtual void Logout() = 0;
    virtual void SetHost(const std::string& host) = 0;
    virtual int GetLastError() const = 0;
    virtual void SetLastError(int code) = 0;
    virtual std::string GetErrorText(int code) const = 0;
    // Logs in again with the credentials of the last Login.
    virtual ILoginUser* Relogin() = 0;
};

}  // namespace vm
