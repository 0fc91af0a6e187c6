#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/INotification.h"
#include "net/ITransferProgress.h"
#include "net/IUser.h"

namespace vm {

enum class SearchKind { ByUid = 1, ByUserName = 2, ByEmail = 3, ByCharacter = 4 };

// The logged-in community account. Owned by the community client from the login until
// Logout; the friends, characters and notifications it hands out stay owned by it and are
// replaced (the old pointers die) whenever their list is loaded again. Not thread-safe.
class ILoginUser : public virtual IUser {
  public:
    // Unread messages plus friend requests; asks the service when not known or when forced.
    virtual int GetNewCount(Refresh refresh) = 0;
    // Appends the notifications.
    virtual void GetNotifications(std::vector<INotification*>& out, Refresh refresh) = 0;
    // Replaces out with the friends.
    virtual void GetFriends(std::vector<IUser*>& out, Refresh refresh) = 0;
    // Appends the users found; the caller owns them. For ByCharacter value is
    // "region,realm,name".
    virtual void Search(SearchKind kind, const std::string& value,
                        std::vector<std::unique_ptr<IUser>>& out) = 0;
    // Appends the characters.
    virtual void GetCharacters(std::vector<ICharacter*>& out, Refresh refresh) = 0;
    // The new character from the refreshed list; null when the service refused it or the list
    // does not hold it.
    virtual ICharacter* AddCharacter(const std::string& region, const std::string& realm,
                                     const std::string& name, const std::string& gender,
                                     const std::string& race, const std::string& characterClass,
                                     int level, const std::string& guild,
                                     const std::string& verifyCode) = 0;
    virtual bool RemoveCharacter(const ICharacter& character) = 0;
    virtual bool UploadSettings(const std::filesystem::path& file, ITransferProgress* progress) = 0;
    virtual bool DownloadSettings(const std::filesystem::path& file,
                                  ITransferProgress* progress) = 0;
    virtual bool SendMessage(std::uint32_t uid, const std::string& content) = 0;
    // Puts the session tokens into the cookie store for url.
    virtual bool SetCookies(const std::string& url) = 0;
    // "_i=...;_sid=...".
    virtual std::string GetCookieString() const = 0;
    // A link that opens target in the browser already logged in.
    virtual std::string GetRedirectUrl(const std::string& target) = 0;
    virtual bool UploadArmory(const std::filesystem::path& file, ITransferProgress* progress) = 0;
};

}  // namespace vm
