#pragma once

#include <memory>
#include <string>
#include <vector>

#include "net/CPHPCharacter.h"
#include "net/CPHPNotification.h"
#include "net/CPHPUser.h"
#include "net/ILoginUser.h"

namespace vm {

// The logged-in account: its user record, the session tokens of the login answer and the
// cached friends, characters and notifications it owns. Owned by the community client, which
// fills the lists. Not thread-safe.
class CPHPLoginUser : public CPHPUser, public ILoginUser {
  public:
    static constexpr int kCountUnknown = 999;

    // From the "result" element of a login or user-info answer.
    static std::unique_ptr<CPHPLoginUser> FromElement(const tinyxml2::XMLElement& element);

    // ILoginUser
    int GetNewCount(Refresh refresh) override;
    void GetNotifications(std::vector<INotification*>& out, Refresh refresh) override;
    void GetFriends(std::vector<IUser*>& out, Refresh refresh) override;
    void Search(SearchKind kind, const std::string& value,
                std::vector<std::unique_ptr<IUser>>& out) override;
    void GetCharacters(std::vector<ICharacter*>& out, Refresh refresh) override;
    ICharacter* AddCharacter(const std::string& region, const std::string& realm,
                             const std::string& name, const std::string& gender,
                             const std::string& race, const std::string& characterClass, int level,
                             const std::string& guild, const std::string& verifyCode) override;
    bool RemoveCharacter(const ICharacter& character) override;
    bool UploadSettings(const std::filesystem::path& file, ITransferProgress* progress) override;
    bool DownloadSettings(const std::filesystem::path& file, ITransferProgress* progress) override;
    bool SendMessage(std::uint32_t uid, const std::string& content) override;
    bool SetCookies(const std::string& url) override;
    std::string GetCookieString() const override;
    std::string GetRedirectUrl(const std::string& target) override;
    bool UploadArmory(const std::filesystem::path& file, ITransferProgress* progress) override;

    // IUser: the held copy of the primary character, found in the character list once.
    ICharacter* GetPrimaryCharacter() override;

    // Filled by the community client.
    const std::string& SessionI() const { return m_i; }
    const std::string& SessionId() const { return m_sid; }
    // A new login of the same account brings new session tokens.
    void TakeSession(const CPHPLoginUser& fresh);
    void SetCounts(int messages, int friendRequests);
    void ReplaceFriends(std::vector<std::unique_ptr<CPHPUser>> friends);
    void ReplaceCharacters(std::vector<std::unique_ptr<CPHPCharacter>> characters);
    void ReplaceNotifications(std::vector<std::unique_ptr<CPHPNotification>> notifications);
    // Deletes the cached friend with uid.
    void RemoveFriend(std::uint32_t uid);
    // character becomes the primary one: a copy is held and the cached list is marked.
    void SetPrimaryCopy(const CPHPCharacter& character);

  private:
    std::vector<std::unique_ptr<CPHPUser>> m_friends;
    std::vector<std::unique_ptr<CPHPCharacter>> m_characters;
    std::vector<std::unique_ptr<CPHPNotification>> m_notifications;
    std::string m_i;
    std::string m_sid;
    int m_messages = 0;
    int m_friendRequests = 0;
    int m_newCount = kCountUnknown;
    bool m_friendsLoaded = false;
    bool m_charactersLoaded = false;
    bool m_notificationsLoaded = false;
};

}  // namespace vm
