#include "net/CPHPLoginUser.h"

#include <tinyxml2.h>

#include <algorithm>

#include "net/CCookieStore.h"
#include "net/CPHPServer.h"
#include "net/CommunityResult.h"

namespace vm {
namespace {

// A token that would end the cookie's value early or break the header line is not stored.
bool IsCookieSafe(const std::string& value) {
    return std::none_of(value.begin(), value.end(), [](unsigned char c) {
        return c == ';' || c == ',' || c < 0x20 || c == 0x7F;
    });
}

}  // namespace

std::unique_ptr<CPHPLoginUser> CPHPLoginUser::FromElement(const tinyxml2::XMLElement& element) {
    auto user = std::make_unique<CPHPLoginUser>();
    user->ReadRecord(element);
    user->m_i = AttributeText(element, "_i");
    user->m_sid = AttributeText(element, "_sid");
    element.QueryIntAttribute("notification", &user->m_newCount);
    return user;
}

int CPHPLoginUser::GetNewCount(Refresh refresh) {
    if (m_newCount == kCountUnknown || refresh == Refresh::Force) {
        GetServer()->CheckMessages();
        m_newCount = m_messages + m_friendRequests;
    }
    return m_newCount;
}

void CPHPLoginUser::GetNotifications(std::vector<INotification*>& out, Refresh refresh) {
    if (!m_notificationsLoaded || refresh == Refresh::Force) GetServer()->LoadNotifications();
    for (const auto& n : m_notifications) out.push_back(n.get());
}

void CPHPLoginUser::GetFriends(std::vector<IUser*>& out, Refresh refresh) {
    out.clear();
    if (!m_friendsLoaded || refresh == Refresh::Force) GetServer()->LoadFriends();
    for (const auto& f : m_friends) out.push_back(f.get());
}

void CPHPLoginUser::Search(SearchKind kind, const std::string& value,
                           std::vector<std::unique_ptr<IUser>>& out) {
    GetServer()->Search(kind, value, out);
}

void CPHPLoginUser::GetCharacters(std::vector<ICharacter*>& out, Refresh refresh) {
    if (!m_charactersLoaded || refresh == Refresh::Force) GetServer()->LoadCharacters();
    for (const auto& c : m_characters) out.push_back(c.get());
}

ICharacter* CPHPLoginUser::AddCharacter(const std::string& region, const std::string& realm,
                                        const std::string& name, const std::string& gender,
                                        const std::string& race, const std::string& characterClass,
                                        int level, const std::string& guild,
                                        const std::string& verifyCode) {
    CPHPServer& server = *GetServer();
    if (!server.AddCharacter(region, realm, name, gender, race, characterClass, level, guild,
                             verifyCode))
        return nullptr;
    server.LoadCharacters();
    for (const auto& c : m_characters)
        if (c->SameAs(region, realm, name)) return c.get();
    return nullptr;
}

bool CPHPLoginUser::RemoveCharacter(const ICharacter& character) {
    // The character may live in the list that the reload below replaces.
    const std::string region = character.GetRegion();
    const std::string realm = character.GetRealm();
    const std::string name = character.GetName();
    if (m_primary && m_primary->SameAs(region, realm, name)) m_primary.reset();
    CPHPServer& server = *GetServer();
    const bool removed = server.RemoveCharacter(region, realm, name);
    if (removed) server.LoadCharacters();
    return removed;
}

bool CPHPLoginUser::UploadSettings(const std::filesystem::path& file, ITransferProgress* progress) {
    return GetServer()->UploadSettings(file, progress);
}

bool CPHPLoginUser::DownloadSettings(const std::filesystem::path& file,
                                     ITransferProgress* progress) {
    return GetServer()->DownloadSettings(file, progress);
}

bool CPHPLoginUser::SendMessage(std::uint32_t uid, const std::string& content) {
    return GetServer()->SendMessage(uid, content) == 1;
}

bool CPHPLoginUser::SetCookies(const std::string& url) {
    if (!IsCookieSafe(m_i) || !IsCookieSafe(m_sid)) return false;
    CCookieStore::Shared().SetFromResponse(url, {"_i=" + m_i, "_sid=" + m_sid});
    return true;
}

std::string CPHPLoginUser::GetCookieString() const {
    return "_i=" + m_i + ";_sid=" + m_sid;
}

std::string CPHPLoginUser::GetRedirectUrl(const std::string& target) {
    return GetServer()->BuildRedirectUrl(target, m_sid);
}

bool CPHPLoginUser::UploadArmory(const std::filesystem::path& file, ITransferProgress* progress) {
    return GetServer()->UploadArmory(file, progress) == 1;
}

ICharacter* CPHPLoginUser::GetPrimaryCharacter() {
    if (m_primary) return m_primary.get();
    if (!m_charactersLoaded) GetServer()->LoadCharacters();
    for (auto it = m_characters.rbegin(); it != m_characters.rend(); ++it) {
        if ((*it)->isPrimary != 0) {
            m_primary = std::make_unique<CPHPCharacter>(**it);
            break;
        }
    }
    return m_primary.get();
}

void CPHPLoginUser::TakeSession(const CPHPLoginUser& fresh) {
    m_i = fresh.m_i;
    m_sid = fresh.m_sid;
}

void CPHPLoginUser::SetCounts(int messages, int friendRequests) {
    m_messages = messages;
    m_friendRequests = friendRequests;
}

void CPHPLoginUser::ReplaceFriends(std::vector<std::unique_ptr<CPHPUser>> friends) {
    m_friends = std::move(friends);
    m_friendsLoaded = true;
}

void CPHPLoginUser::ReplaceCharacters(std::vector<std::unique_ptr<CPHPCharacter>> characters) {
    m_characters = std::move(characters);
    m_charactersLoaded = true;
}

void CPHPLoginUser::ReplaceNotifications(
    std::vector<std::unique_ptr<CPHPNotification>> notifications) {
    m_notifications = std::move(notifications);
    m_notificationsLoaded = true;
}

void CPHPLoginUser::RemoveFriend(std::uint32_t uid) {
    std::erase_if(m_friends, [uid](const auto& f) { return f->GetId() == uid; });
}

void CPHPLoginUser::SetPrimaryCopy(const CPHPCharacter& character) {
    // Copy before the old primary goes: character may be that very object.
    auto copy = std::make_unique<CPHPCharacter>(character);
    copy->isPrimary = 1;
    for (const auto& c : m_characters)
        c->isPrimary = c->SameAs(copy->region, copy->realm, copy->name) ? 1 : 0;
    m_primary = std::move(copy);
}

}  // namespace vm
