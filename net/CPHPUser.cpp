#include "net/CPHPUser.h"

#include <tinyxml2.h>

#include <vector>

#include "net/CAccessDeniedException.h"
#include "net/CAddFriendException.h"
#include "net/CDeleteFriendException.h"
#include "net/CPHPServer.h"
#include "net/CommunityResult.h"

namespace vm {
namespace {

bool HoldsUid(const std::vector<IUser*>& users, std::uint32_t uid) {
    for (const IUser* u : users)
        if (u->GetId() == uid) return true;
    return false;
}

}  // namespace

std::unique_ptr<CPHPUser> CPHPUser::FromElement(const tinyxml2::XMLElement& element) {
    auto user = std::make_unique<CPHPUser>();
    user->ReadRecord(element);
    user->m_primary = CPHPCharacter::FromUserElement(element);
    return user;
}

void CPHPUser::ReadRecord(const tinyxml2::XMLElement& element) {
    element.QueryUnsignedAttribute("uid", &m_uid);
    m_userName = AttributeText(element, "username");
    m_email = AttributeText(element, "email");
    element.QueryIntAttribute("state", &m_state);
    element.QueryIntAttribute("level", &m_level);
}

std::string CPHPUser::GetAvatar(int pixelSize) {
    return GetServer()->FetchAvatar(m_uid, pixelSize);
}

void CPHPUser::AddFriend(const std::string& message) {
    CPHPServer& server = *GetServer();
    ILoginUser* me = server.GetLoginUser();
    if (!me) throw CAccessDeniedException();
    if (me->GetId() == m_uid) throw CAddFriendException(kCommunityNotOnYourself);
    std::vector<IUser*> friends;
    me->GetFriends(friends, Refresh::IfNeeded);
    if (HoldsUid(friends, m_uid)) throw CAddFriendException(kCommunityAlreadyFriend);
    server.AddFriend(m_uid, message);
}

void CPHPUser::DeleteFriend() {
    CPHPServer& server = *GetServer();
    ILoginUser* me = server.GetLoginUser();
    if (!me) throw CDeleteFriendException();
    std::vector<IUser*> friends;
    me->GetFriends(friends, Refresh::IfNeeded);
    if (!HoldsUid(friends, m_uid)) throw CDeleteFriendException();
    // This object may be the cached friend, which the request deletes: nothing after it.
    server.DeleteFriend(m_uid);
}

const CPHPUser::LevelRecord& CPHPUser::Level(Refresh refresh) {
    if (m_levelRecord.level.empty() || refresh == Refresh::Force)
        GetServer()->GetLevelInfo(m_uid, m_levelRecord);
    return m_levelRecord;
}

void CPHPUser::GetLevelInfo(std::string& level, int& current, int& maximum, Refresh refresh) {
    const LevelRecord& r = Level(refresh);
    level = r.level;
    current = r.current;
    maximum = r.maximum;
}

int CPHPUser::GetGroupId(Refresh refresh) {
    return Level(refresh).groupId;
}

void CPHPUser::GetTip(std::string& tip, Refresh refresh) {
    tip = Level(refresh).tip;
}

}  // namespace vm
