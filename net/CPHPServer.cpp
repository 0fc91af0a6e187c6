#include "net/CPHPServer.h"

#include <tinyxml2.h>

#include <ctime>
#include <random>

#include "net/CAddFriendException.h"
#include "net/CCreateUserException.h"
#include "net/CommunityErrors.h"
#include "net/CommunityResult.h"
#include "net/Multipart.h"
#include "net/endpoints.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace vm {
namespace {

using Verb = CCommunityTransport::Verb;

constexpr char kUserInfoPath[] = "/client/public.php?a=getUserInfo";
constexpr char kVerifyCodePath[] = "/client/public.php?a=vcode";
constexpr char kCreateUserPath[] = "/client/public.php?a=createUser";
constexpr char kLoginPath[] = "/client/public.php?a=login";
constexpr char kLogoutPath[] = "/client/public.php?a=logout";
constexpr char kRedirectPath[] = "/client/public.php?a=redirect&url=";
constexpr char kLoginUserPath[] = "/client/index.php?m=user&a=getUserInfo";
constexpr char kAddFriendPath[] = "/client/index.php?m=friend&a=add";
constexpr char kDeleteFriendPath[] = "/client/index.php?m=friend&a=delete";
constexpr char kFriendListPath[] = "/client/index.php?m=friend&a=getList";
constexpr char kSetPrimaryPath[] = "/client/index.php?m=character&a=setPrimary";
constexpr char kCharacterListPath[] = "/client/index.php?m=character&a=getList";
constexpr char kAddCharacterPath[] = "/client/index.php?m=character&a=add";
constexpr char kRemoveCharacterPath[] = "/client/index.php?m=character&a=remove";
constexpr char kArmoryUploadPath[] = "/client/index.php?m=character&a=upload";
constexpr char kCheckMessagesPath[] = "/client/index.php?m=SMS&a=check";
constexpr char kSendMessagePath[] = "/client/index.php?m=SMS&a=send";
constexpr char kNotificationsPath[] = "/client/index.php?m=notification&a=get";
constexpr char kSearchPath[] = "/client/index.php?m=user&a=search";
constexpr char kSearchByCharacterPath[] = "/client/index.php?m=user&a=searchByCharacter";
constexpr char kSettingsDownloadPath[] = "/client/index.php?m=settings&a=download";
constexpr char kSettingsUploadPath[] = "/client/index.php?m=settings&a=upload";
constexpr char kSettingsFilePrefix[] = "/client";
constexpr char kLevelPath[] = "/bbs/interface/index_v3.php?action=level";

constexpr char kRememberSeconds[] = "31536000";
constexpr char kSessionSeconds[] = "86400";

std::mutex g_serverLock;
std::shared_ptr<CPHPServer> g_server;

// A fresh cache-busting number; seeded with the time like every request before it.
unsigned TimeSeed() {
    std::mt19937 rng(static_cast<unsigned>(platform::UnixNow()));
    return rng() % 32768;
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return pieces;
        start = comma + 1;
    }
}

// Every child element of result with this name, built by make.
template <class T, class Make>
std::vector<std::unique_ptr<T>> Children(const tinyxml2::XMLElement& result, const char* name,
                                         Make make) {
    std::vector<std::unique_ptr<T>> items;
    for (const tinyxml2::XMLElement* e = result.FirstChildElement(name); e;
         e = e->NextSiblingElement(name))
        items.push_back(make(*e));
    return items;
}

}  // namespace

void NoteCommunityError(int code) {
    std::lock_guard<std::mutex> g(g_serverLock);
    if (g_server) g_server->SetLastError(code);
}

std::shared_ptr<CPHPServer> AcquireServer() {
    std::lock_guard<std::mutex> g(g_serverLock);
    if (!g_server) g_server = std::make_shared<CPHPServer>();
    return g_server;
}

CPHPServer* GetServer() {
    return AcquireServer().get();
}

CPHPServer::CPHPServer() : m_transport(CommunityHost()) {
    m_transport.SetReloginHook(
        {[](const std::string& answer) { return CommunityResultCode(answer); },
         [this] { Relogin(); }});
}

CPHPServer::~CPHPServer() = default;

std::string CPHPServer::Get(const std::string& path, const Params& params) {
    return m_transport.Request(path, params, Verb::Get);
}

std::string CPHPServer::Post(const std::string& path, const Params& params) {
    return m_transport.Request(path, params, Verb::Post);
}

int CPHPServer::ParseResult(std::string_view text, tinyxml2::XMLDocument& doc,
                            const tinyxml2::XMLElement** result) {
    const int code = ParseCommunityResult(text, doc, result);
    SetLastError(code);
    return code;
}

const tinyxml2::XMLElement* CPHPServer::Answer(Verb verb, const std::string& path,
                                               const Params& params, tinyxml2::XMLDocument& doc) {
    const std::string answer = m_transport.Request(path, params, verb);
    const tinyxml2::XMLElement* result = nullptr;
    return ParseResult(answer, doc, &result) == 0 ? result : nullptr;
}

bool CPHPServer::Succeeds(const std::string& answer) {
    tinyxml2::XMLDocument doc;
    return ParseResult(answer, doc) == 0;
}

CPHPLoginUser* CPHPServer::Held() {
    std::lock_guard<std::mutex> g(m_stateLock);
    return m_loginUser.get();
}

int CPHPServer::GetLastError() const {
    return m_transport.GetLastError();
}

void CPHPServer::SetLastError(int code) {
    m_transport.SetLastError(code);
}

std::string CPHPServer::GetErrorText(int code) const {
    return CommunityErrorText(code);
}

void CPHPServer::SetHost(const std::string& host) {
    m_transport.SetHost(host);
}

IUser* CPHPServer::GetUserInfo(std::uint32_t uid) {
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        const auto it = m_userCache.find(uid);
        if (it != m_userCache.end()) return it->second.get();
    }
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result =
        Answer(Verb::Get, kUserInfoPath, {{"uid", std::to_string(uid)}}, doc);
    if (!result) return nullptr;
    auto user = CPHPUser::FromElement(*result);
    std::lock_guard<std::mutex> g(m_stateLock);
    return m_userCache.try_emplace(uid, std::move(user)).first->second.get();
}

std::string CPHPServer::GetVerifyCode() {
    // Copy out of the raw buffer before another raw fetch may reuse it.
    std::lock_guard<std::recursive_mutex> lock(m_transport.RequestLock());
    const auto raw = m_transport.FetchRaw("http://" + m_transport.Host() + kVerifyCodePath);
    return raw.data ? std::string(raw.data, raw.size) : std::string();
}

int CPHPServer::CreateUser(const std::string& userName, const std::string& email,
                           const std::string& password, const std::string& question,
                           const std::string& answer, const std::string& verifyCode) {
    const std::string reply = Post(kCreateUserPath, {{"username", userName},
                                                     {"email", email},
                                                     {"password", password},
                                                     {"question", question},
                                                     {"answer", answer},
                                                     {"vcode", verifyCode}});
    tinyxml2::XMLDocument doc;
    const int code = ParseResult(reply, doc);
    if (code != 0) throw CCreateUserException(code);
    return 1;
}

ILoginUser* CPHPServer::Login(const std::string& userName, const std::string& email,
                              const std::string& password, bool remember) {
    const std::string name = userName.empty() ? email : userName;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        m_storedName = name;
        m_storedPassword = password;
        m_remember = remember;
    }
    const std::string answer =
        Post(kLoginPath, {{"username", name},
                          {"password", password},
                          {"expires", remember ? kRememberSeconds : kSessionSeconds}});
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = nullptr;
    const bool ok = ParseResult(answer, doc, &result) == 0;
    std::lock_guard<std::mutex> g(m_stateLock);
    if (ok) {
        auto fresh = CPHPLoginUser::FromElement(*result);
        if (!m_loginUser) {
            m_loginUser = std::move(fresh);
        } else if (m_loginUser->GetId() == fresh->GetId()) {
            // Same account again (a re-login): keep the object callers hold, take the new
            // session's tokens so links and cookies stay valid.
            m_loginUser->TakeSession(*fresh);
        } else {
            // Another account: its data must not be shown under the old one.
            m_loginUser = std::move(fresh);
            m_userCache.clear();
        }
        m_loggedIn = true;
    }
    return m_loginUser.get();
}

ILoginUser* CPHPServer::Relogin() {
    std::string name, password;
    bool remember = false;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        name = m_storedName;
        password = m_storedPassword;
        remember = m_remember;
    }
    // Nothing to log in with (never logged in, or logged out on purpose).
    if (name.empty()) return nullptr;
    return Login(name, std::string(), password, remember);
}

ILoginUser* CPHPServer::GetLoginUser() {
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        if (m_loginUser) return m_loginUser.get();
        if (!m_loggedIn) return nullptr;
    }
    try {
        tinyxml2::XMLDocument doc;
        const tinyxml2::XMLElement* result = Answer(Verb::Get, kLoginUserPath, {}, doc);
        if (!result) return nullptr;
        auto fresh = CPHPLoginUser::FromElement(*result);
        std::lock_guard<std::mutex> g(m_stateLock);
        if (!m_loginUser) m_loginUser = std::move(fresh);
        return m_loginUser.get();
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::optional<std::uint32_t> CPHPServer::LoginUid() {
    GetLoginUser();
    std::lock_guard<std::mutex> g(m_stateLock);
    if (!m_loginUser) return std::nullopt;
    return m_loginUser->GetId();
}

void CPHPServer::Logout() {
    bool loggedIn = false;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        loggedIn = m_loggedIn;
        // A request answered "not logged in" after this must not log the user back in.
        m_storedName.clear();
        m_storedPassword.clear();
    }
    if (loggedIn) {
        try {
            const std::string answer = Get(kLogoutPath);
            tinyxml2::XMLDocument doc;
            ParseResult(answer, doc);
            std::lock_guard<std::mutex> g(m_stateLock);
            m_loggedIn = false;
        } catch (const std::exception&) {
        }
    }
    std::unique_ptr<CPHPLoginUser> user;
    std::unordered_map<std::uint32_t, std::unique_ptr<CPHPUser>> cache;
    {
        std::lock_guard<std::mutex> g(m_stateLock);
        user = std::move(m_loginUser);
        cache.swap(m_userCache);
    }
}

void CPHPServer::Release() {
    Logout();
    std::shared_ptr<CPHPServer> last;
    {
        std::lock_guard<std::mutex> g(g_serverLock);
        if (g_server.get() == this) last = std::move(g_server);
    }
    // last may be the final owner: this object ends with it.
}

void CPHPServer::AddFriend(std::uint32_t uid, const std::string& message) {
    const std::string answer =
        Post(kAddFriendPath, {{"uid", std::to_string(uid)}, {"msg", message}});
    if (!Succeeds(answer)) throw CAddFriendException(GetLastError());
}

void CPHPServer::DeleteFriend(std::uint32_t uid) {
    const std::string answer = Get(kDeleteFriendPath, {{"uid", std::to_string(uid)}});
    if (!Succeeds(answer)) return;
    if (CPHPLoginUser* me = Held()) me->RemoveFriend(uid);
}

void CPHPServer::SetPrimaryCharacter(const CPHPCharacter& character) {
    const CPHPCharacter chosen = character;
    const std::string answer =
        Post(kSetPrimaryPath,
             {{"region", chosen.region}, {"realm", chosen.realm}, {"name", chosen.name}});
    if (!Succeeds(answer)) return;
    if (CPHPLoginUser* me = Held()) me->SetPrimaryCopy(chosen);
}

bool CPHPServer::CheckMessages() {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = Answer(Verb::Get, kCheckMessagesPath, {}, doc);
    if (!result) return false;
    int messages = 0;
    int friends = 0;
    result->QueryIntAttribute("message", &messages);
    result->QueryIntAttribute("friends", &friends);
    if (CPHPLoginUser* me = Held()) me->SetCounts(messages, friends);
    return true;
}

bool CPHPServer::LoadNotifications() {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = Answer(Verb::Get, kNotificationsPath, {}, doc);
    if (!result) return false;
    if (CPHPLoginUser* me = Held())
        me->ReplaceNotifications(
            Children<CPHPNotification>(*result, "notification", CPHPNotification::FromElement));
    return true;
}

bool CPHPServer::LoadFriends() {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = Answer(Verb::Get, kFriendListPath, {}, doc);
    if (!result) return false;
    if (CPHPLoginUser* me = Held())
        me->ReplaceFriends(Children<CPHPUser>(*result, "friend", CPHPUser::FromElement));
    return true;
}

bool CPHPServer::LoadCharacters() {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = Answer(Verb::Get, kCharacterListPath, {}, doc);
    if (!result) return false;
    if (CPHPLoginUser* me = Held())
        me->ReplaceCharacters(
            Children<CPHPCharacter>(*result, "character", CPHPCharacter::FromElement));
    return true;
}

void CPHPServer::Search(SearchKind kind, const std::string& value,
                        std::vector<std::unique_ptr<IUser>>& out) {
    Params params;
    switch (kind) {
        case SearchKind::ByUid:
            params = {{"uid", std::to_string(static_cast<std::uint32_t>(
                                  std::strtoul(value.c_str(), nullptr, 10)))}};
            break;
        case SearchKind::ByUserName:
            params = {{"username", value}};
            break;
        case SearchKind::ByEmail:
            params = {{"email", value}};
            break;
        case SearchKind::ByCharacter: {
            std::vector<std::string> p = SplitAtCommas(value);
            if (p.size() != 3) p.assign(3, std::string());
            params = {
                {"character_region", p[0]}, {"character_realm", p[1]}, {"character_name", p[2]}};
            break;
        }
    }
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result =
        Answer(Verb::Post, kind == SearchKind::ByCharacter ? kSearchByCharacterPath : kSearchPath,
               params, doc);
    if (!result) return;
    for (auto& user : Children<CPHPUser>(*result, "user", CPHPUser::FromElement))
        out.push_back(std::move(user));
}

bool CPHPServer::AddCharacter(const std::string& region, const std::string& realm,
                              const std::string& name, const std::string& gender,
                              const std::string& race, const std::string& characterClass, int level,
                              const std::string& guild, const std::string& verifyCode) {
    return Succeeds(Post(kAddCharacterPath, {{"region", region},
                                             {"realm", realm},
                                             {"name", name},
                                             {"gender", gender},
                                             {"race", race},
                                             {"class", characterClass},
                                             {"level", std::to_string(level)},
                                             {"guild", guild},
                                             {"vcode", verifyCode}}));
}

bool CPHPServer::RemoveCharacter(const std::string& region, const std::string& realm,
                                 const std::string& name) {
    return Succeeds(
        Post(kRemoveCharacterPath, {{"region", region}, {"realm", realm}, {"name", name}}));
}

bool CPHPServer::DownloadSettings(const std::filesystem::path& file, ITransferProgress* progress) {
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = Answer(Verb::Get, kSettingsDownloadPath, {}, doc);
    if (!result) {
        // Without a ticket there is nothing to fetch; the user's file stays as it is.
        if (progress) progress->OnError(ITransferProgress::kBadStatus);
        return false;
    }
    return m_transport.DownloadToFile(kSettingsFilePrefix + AttributeText(*result, "info"), file,
                                      progress);
}

bool CPHPServer::UploadSettings(const std::filesystem::path& file, ITransferProgress* progress) {
    return m_transport.UploadMultipart(kSettingsUploadPath, "config", file, progress);
}

int CPHPServer::UploadArmory(const std::filesystem::path& file, ITransferProgress* progress) {
    std::string answer;
    if (!m_transport.UploadMultipart(kArmoryUploadPath, "armory", file, progress, &answer))
        return 0;
    return Succeeds(answer) ? 1 : 0;
}

int CPHPServer::GetLevelInfo(std::uint32_t uid, CPHPUser::LevelRecord& record) {
    try {
        const std::string answer = Get(kLevelPath, {{"uid", std::to_string(uid)}});
        tinyxml2::XMLDocument doc;
        if (answer.empty() || doc.Parse(answer.data(), answer.size()) != tinyxml2::XML_SUCCESS)
            return 0;
        const tinyxml2::XMLElement* bbs = doc.FirstChildElement("bbs");
        int success = 0;
        if (!bbs || bbs->QueryIntAttribute("success", &success) != tinyxml2::XML_SUCCESS ||
            success != 1)
            return 0;
        CPHPUser::LevelRecord fresh = record;
        bbs->QueryIntAttribute("curValue", &fresh.current);
        bbs->QueryIntAttribute("maxValue", &fresh.maximum);
        bbs->QueryIntAttribute("groupid", &fresh.groupId);
        fresh.level = AttributeText(*bbs, "level");
        fresh.tip = AttributeText(*bbs, "tip");
        record = std::move(fresh);
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

int CPHPServer::SendMessage(std::uint32_t uid, const std::string& content) {
    try {
        return Succeeds(
                   Post(kSendMessagePath, {{"uid", std::to_string(uid)}, {"content", content}}))
                   ? 1
                   : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

std::string CPHPServer::BuildRedirectUrl(const std::string& target,
                                         const std::string& sessionId) const {
    return "http://" + m_transport.Host() + kRedirectPath + UrlEncodeUtf8(target) +
           "&_sid=" + UrlEncodeUtf8(sessionId);
}

std::string CPHPServer::FetchAvatar(std::uint32_t uid, int pixelSize) {
    const std::string avatarHost = GetEndpoints().avatarHost;
    const std::string url = "http://" + avatarHost + kAvatarUrlPrefix + std::to_string(uid) +
                            "&size=" + std::to_string(pixelSize) +
                            "&timeseed=" + std::to_string(TimeSeed());
    // Held through the picture fetch so that the bytes are copied before another raw fetch.
    std::lock_guard<std::recursive_mutex> lock(m_transport.RequestLock());
    const HttpResponseHead head = m_transport.GetHeadWithoutRedirect(url);
    if (head.status != 302) return {};
    std::string location(platform::Trim(head.Header("Location")));
    if (location.empty()) return {};
    if (location.front() == '/') location = "http://" + avatarHost + location;
    // A location that already has a query gets the seed as one more parameter.
    location += location.find('?') == std::string::npos ? "?timeseed=" : "&timeseed=";
    location += std::to_string(TimeSeed());
    const auto raw = m_transport.FetchRaw(location);
    return raw.data ? std::string(raw.data, raw.size) : std::string();
}

}  // namespace vm
