#include "tools/devservices/CommunityFake.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace vm::dev {
namespace {

constexpr char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Attr(const std::string& name, const std::string& value) {
    return " " + name + "=\"" + Escape(value) + "\"";
}

std::string Attr(const std::string& name, long long value) {
    return Attr(name, std::to_string(value));
}

std::string Ok(const std::string& attributes = {}, const std::string& children = {}) {
    return std::string(kXmlHead) + "<result success=\"1\"" + attributes + ">" + children +
           "</result>";
}

std::string Fail(int code, const std::string& words) {
    return std::string(kXmlHead) + "<result success=\"0\"" +
           Attr("info", std::to_string(code) + ":" + words) + "/>";
}

std::string UserAttributes(const CommunityFake::User& u) {
    std::string a = Attr("uid", u.uid) + Attr("username", u.username) + Attr("email", u.email) +
                    Attr("state", u.state) + Attr("level", u.level);
    for (const auto& c : u.characters) {
        if (!c.primary) continue;
        a += Attr("character_region", c.region) + Attr("character_realm", c.realm) +
             Attr("character_name", c.name) + Attr("character_gender", c.gender) +
             Attr("character_faction", c.faction) + Attr("character_class", c.characterClass) +
             Attr("character_race", c.race);
    }
    return a;
}

std::string CharacterElement(const CommunityFake::Character& c) {
    return "<character" + Attr("region", c.region) + Attr("realm", c.realm) + Attr("name", c.name) +
           Attr("gender", c.gender) + Attr("faction", c.faction) + Attr("class", c.characterClass) +
           Attr("race", c.race) + Attr("isPrimary", c.primary ? 1 : 0) + "/>";
}

// What the service takes for each operation: its verb and exactly these fields ("*" marks
// an operation that takes one of several; the multipart ones name their part's file).
struct Operation {
    const char* verb;
    std::vector<std::string> fields;
    const char* partFile = nullptr;
};

const std::map<std::string, Operation>& Operations() {
    static const std::map<std::string, Operation> ops = {
        {"getUserInfo", {"GET", {"uid"}}},
        {"vcode", {"GET", {}}},
        {"createUser", {"POST", {"username", "email", "password", "question", "answer", "vcode"}}},
        {"login", {"POST", {"username", "password", "expires"}}},
        {"logout", {"GET", {}}},
        {"user.getUserInfo", {"GET", {}}},
        {"friend.add", {"POST", {"uid", "msg"}}},
        {"friend.delete", {"GET", {"uid"}}},
        {"friend.getList", {"GET", {}}},
        {"character.setPrimary", {"POST", {"region", "realm", "name"}}},
        {"character.getList", {"GET", {}}},
        {"character.add",
         {"POST",
          {"region", "realm", "name", "gender", "race", "class", "level", "guild", "vcode"}}},
        {"character.remove", {"POST", {"region", "realm", "name"}}},
        {"character.upload", {"POST", {}, "armory"}},
        {"SMS.check", {"GET", {}}},
        {"SMS.send", {"POST", {"uid", "content"}}},
        {"notification.get", {"GET", {}}},
        {"user.search", {"POST", {"*uid", "*username", "*email"}}},
        {"user.searchByCharacter",
         {"POST", {"character_region", "character_realm", "character_name"}}},
        {"settings.download", {"GET", {}}},
        {"settings.upload", {"POST", {}, "config"}},
    };
    return ops;
}

// The operation's own parameters: the query of a GET, the form body of a POST (whose query
// only names the operation). Never both, as the service reads them.
std::map<std::string, std::string> ParamsOf(const httplib::Request& req) {
    std::map<std::string, std::string> params;
    if (req.method == "GET") {
        for (const auto& [k, v] : req.params) params.emplace(k, v);
        return params;
    }
    for (const auto& [k, v] : req.params)
        if (k == "a" || k == "m") params.emplace(k, v);
    if (req.get_header_value("Content-Type").find("x-www-form-urlencoded") != std::string::npos) {
        httplib::Params body;
        httplib::detail::parse_query_text(req.body, body);
        for (const auto& [k, v] : body)
            if (!k.empty()) params.emplace(k, v);
    }
    return params;
}

// Empty when the request is what the service takes for op; otherwise why it is refused.
std::string Refusal(const std::string& op, const httplib::Request& req,
                    const std::map<std::string, std::string>& params) {
    const auto it = Operations().find(op);
    if (it == Operations().end()) return {};  // answered as an unknown method
    const Operation& o = it->second;
    if (req.method != o.verb) return "wrong verb " + req.method;
    if (o.partFile) return {};
    std::vector<std::string> given;
    for (const auto& [k, v] : params)
        if (k != "a" && k != "m") given.push_back(k);
    if (!o.fields.empty() && o.fields[0][0] == '*') {
        // Exactly one of the alternatives.
        if (given.size() != 1) return "one search field expected";
        for (const std::string& f : o.fields)
            if (given[0] == f.substr(1)) return {};
        return "unknown field " + given[0];
    }
    for (const std::string& g : given)
        if (std::find(o.fields.begin(), o.fields.end(), g) == o.fields.end())
            return "unknown field " + g;
    for (const std::string& f : o.fields)
        if (!params.count(f)) return "missing field " + f;
    return {};
}

// The file of a community multipart body, when the body is laid out as the service takes it:
// its own content type, one part named "data" with the operation's file name.
std::optional<std::string> CommunityPart(const httplib::Request& req, const std::string& fileName) {
    if (req.get_header_value(HttpRoutes::kRealContentType) !=
        "multipart/form-data, boundary=VelmoraBoundary")
        return std::nullopt;
    const std::string head =
        "--VelmoraBoundary\r\n"
        "Content-Disposition: form-data; name=\"data\"; filename=\"" +
        fileName +
        "\"\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\n";
    const std::string tail = "\r\n--VelmoraBoundary--\r\n";
    const std::string& body = req.body;
    if (body.size() < head.size() + tail.size() || body.compare(0, head.size(), head) != 0 ||
        body.compare(body.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    return body.substr(head.size(), body.size() - head.size() - tail.size());
}

std::string Get(const std::map<std::string, std::string>& p, const std::string& key) {
    const auto it = p.find(key);
    return it == p.end() ? std::string() : it->second;
}

std::uint32_t Uid(const std::map<std::string, std::string>& p) {
    return static_cast<std::uint32_t>(std::strtoul(Get(p, "uid").c_str(), nullptr, 10));
}

void Xml(httplib::Response& res, const std::string& xml) {
    res.status = 200;
    res.set_content(xml, "text/xml; charset=utf-8");
}

}  // namespace

CommunityFake::CommunityFake(HttpRoutes& server) : m_server(server) {
    for (const char* method : {"GET", "POST"}) {
        server.On(method, "/client/public.php",
                  [this](const httplib::Request& q, httplib::Response& r) { Public(q, r); });
        server.On(method, "/client/index.php",
                  [this](const httplib::Request& q, httplib::Response& r) { Member(q, r); });
    }
    server.On("GET", "/bbs/interface/index_v3.php",
              [this](const httplib::Request& q, httplib::Response& r) { Level(q, r); });
    server.On("GET", "/avatar.php",
              [this](const httplib::Request& q, httplib::Response& r) { Avatar(q, r); });
    server.On("GET", "/client/files/settings.dat",
              [this](const httplib::Request& q, httplib::Response& r) { SettingsFile(q, r); });
}

void CommunityFake::AddUser(User user) {
    const std::uint32_t uid = user.uid;
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_users[uid] = std::move(user);
    }
    m_server.On("GET", "/avatars/" + std::to_string(uid) + ".jpg",
                [this](const httplib::Request& q, httplib::Response& r) { AvatarImage(q, r); });
}

std::optional<CommunityFake::User> CommunityFake::GetUser(std::uint32_t uid) const {
    std::lock_guard<std::mutex> g(m_lock);
    const auto it = m_users.find(uid);
    if (it == m_users.end()) return std::nullopt;
    return it->second;
}

void CommunityFake::MakeFriends(std::uint32_t a, std::uint32_t b) {
    std::lock_guard<std::mutex> g(m_lock);
    m_users[a].friends.push_back(b);
    m_users[b].friends.push_back(a);
}

void CommunityFake::SetCounts(std::uint32_t uid, int messages, int friendRequests) {
    std::lock_guard<std::mutex> g(m_lock);
    m_users[uid].messages = messages;
    m_users[uid].friendRequests = friendRequests;
}

void CommunityFake::DropSessions() {
    std::lock_guard<std::mutex> g(m_lock);
    m_sessions.clear();
}

std::vector<std::string> CommunityFake::Log() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_log;
}

void CommunityFake::ClearLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.clear();
}

std::map<std::string, std::string> CommunityFake::LastLogin() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_lastLogin;
}

std::vector<std::string> CommunityFake::Refused() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_refused;
}

std::string CommunityFake::LastArmory() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_lastArmory;
}

CommunityFake::User* CommunityFake::Find(std::uint32_t uid) {
    const auto it = m_users.find(uid);
    return it == m_users.end() ? nullptr : &it->second;
}

CommunityFake::User* CommunityFake::FindByName(const std::string& nameOrEmail) {
    for (auto& [uid, u] : m_users)
        if (!nameOrEmail.empty() && (u.username == nameOrEmail || u.email == nameOrEmail))
            return &u;
    return nullptr;
}

CommunityFake::User* CommunityFake::SessionUser(const httplib::Request& req) {
    const std::string cookies = req.get_header_value("Cookie");
    const std::string key = std::string(kSessionCookie) + "=";
    auto pos = cookies.find(key);
    if (pos == std::string::npos) return nullptr;
    pos += key.size();
    const std::string token = cookies.substr(pos, cookies.find(';', pos) - pos);
    const auto it = m_sessions.find(token);
    return it == m_sessions.end() ? nullptr : Find(it->second);
}

void CommunityFake::Public(const httplib::Request& req, httplib::Response& res) {
    const Params p = ParamsOf(req);
    const std::string op = Get(p, "a");
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back(op);
    if (const std::string why = Refusal(op, req, p); !why.empty()) {
        m_refused.push_back(op + ": " + why);
        return Xml(res, Fail(20, why));
    }
    if (op == "vcode") {
        res.status = 200;
        res.set_content(kVerifyPicture, "image/gif");
        return;
    }
    if (op == "getUserInfo") {
        const User* u = Find(Uid(p));
        return Xml(res, u ? Ok(UserAttributes(*u)) : Fail(22, "no such user"));
    }
    if (op == "createUser") {
        if (Get(p, "vcode") != kVerifyCode) return Xml(res, Fail(23, "bad code"));
        if (FindByName(Get(p, "username"))) return Xml(res, Fail(65, "name taken"));
        if (FindByName(Get(p, "email"))) return Xml(res, Fail(68, "email taken"));
        if (Get(p, "password").size() < 6) return Xml(res, Fail(69, "password too short"));
        User u;
        u.uid = m_nextUid++;
        u.username = Get(p, "username");
        u.email = Get(p, "email");
        u.password = Get(p, "password");
        m_users[u.uid] = u;
        return Xml(res, Ok());
    }
    if (op == "login") {
        m_lastLogin = {{"username", Get(p, "username")},
                       {"password", Get(p, "password")},
                       {"expires", Get(p, "expires")}};
        User* u = FindByName(Get(p, "username"));
        if (!u || u->password != Get(p, "password")) return Xml(res, Fail(40, "wrong password"));
        const std::string token = "s" + std::to_string(m_nextToken++);
        m_sessions[token] = u->uid;
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + token + "; path=/");
        return Xml(
            res, Ok(Attr("uid", u->uid) + Attr("username", u->username) + Attr("email", u->email) +
                    Attr("state", u->state) + Attr("level", u->level) + Attr("_i", "i" + token) +
                    Attr("_sid", token) + Attr("notification", u->notification)));
    }
    if (op == "logout") {
        const std::string cookies = req.get_header_value("Cookie");
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if (cookies.find(std::string(kSessionCookie) + "=" + it->first) != std::string::npos)
                it = m_sessions.erase(it);
            else
                ++it;
        }
        return Xml(res, Ok());
    }
    Xml(res, Fail(1002, "unknown method"));
}

void CommunityFake::Member(const httplib::Request& req, httplib::Response& res) {
    const Params p = ParamsOf(req);
    const std::string op = Get(p, "m") + "." + Get(p, "a");
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back(op);
    if (const std::string why = Refusal(op, req, p); !why.empty()) {
        m_refused.push_back(op + ": " + why);
        return Xml(res, Fail(20, why));
    }
    User* me = SessionUser(req);
    if (!me) return Xml(res, Fail(21, "not logged in"));
    Xml(res, MemberAnswer(*me, op, p, req));
}

std::string CommunityFake::MemberAnswer(User& me, const std::string& op, const Params& p,
                                        const httplib::Request& req) {
    if (op == "user.getUserInfo")
        return Ok(UserAttributes(me) + Attr("_i", "i-info") + Attr("_sid", "sid-info") +
                  Attr("notification", me.notification));
    if (op == "friend.getList") {
        std::string children;
        for (std::uint32_t f : me.friends)
            if (const User* u = Find(f)) children += "<friend" + UserAttributes(*u) + "/>";
        return Ok({}, children);
    }
    if (op == "friend.add") {
        const std::uint32_t uid = Uid(p);
        User* other = Find(uid);
        if (uid == me.uid) return Fail(101, "yourself");
        if (!other) return Fail(22, "no such user");
        if (std::count(me.friends.begin(), me.friends.end(), uid)) return Fail(102, "friends");
        me.friends.push_back(uid);
        other->friends.push_back(me.uid);
        return Ok();
    }
    if (op == "friend.delete") {
        const std::uint32_t uid = Uid(p);
        if (!std::count(me.friends.begin(), me.friends.end(), uid)) return Fail(1020, "none");
        std::erase(me.friends, uid);
        if (User* other = Find(uid)) std::erase(other->friends, me.uid);
        return Ok();
    }
    auto findCharacter = [&](const std::string& prefix) {
        return std::find_if(me.characters.begin(), me.characters.end(), [&](const Character& c) {
            return c.region == Get(p, prefix + "region") && c.realm == Get(p, prefix + "realm") &&
                   c.name == Get(p, prefix + "name");
        });
    };
    if (op == "character.getList") {
        std::string children;
        for (const auto& c : me.characters) children += CharacterElement(c);
        return Ok({}, children);
    }
    if (op == "character.setPrimary") {
        const auto it = findCharacter("");
        if (it == me.characters.end()) return Fail(82, "no such character");
        for (auto& c : me.characters) c.primary = false;
        it->primary = true;
        return Ok();
    }
    if (op == "character.add") {
        if (Get(p, "region").empty() || Get(p, "realm").empty() || Get(p, "name").empty())
            return Fail(86, "incomplete");
        if (Get(p, "vcode") != kVerifyCode) return Fail(1027, "bad code");
        if (findCharacter("") != me.characters.end()) return Fail(1031, "exists");
        me.characters.push_back({Get(p, "region"), Get(p, "realm"), Get(p, "name"),
                                 Get(p, "gender"), "", Get(p, "class"), Get(p, "race"), false});
        return Ok();
    }
    if (op == "character.remove") {
        const auto it = findCharacter("");
        if (it == me.characters.end()) return Fail(82, "no such character");
        me.characters.erase(it);
        return Ok();
    }
    if (op == "character.upload") {
        const std::optional<std::string> file = CommunityPart(req, "armory");
        if (!file || file->empty()) {
            m_refused.push_back(op + ": no armory part");
            return Fail(123, "no file");
        }
        m_lastArmory = *file;
        return Ok();
    }
    if (op == "SMS.check")
        return Ok(Attr("message", me.messages) + Attr("friends", me.friendRequests));
    if (op == "SMS.send") {
        User* to = Find(Uid(p));
        if (!to) return Fail(1021, "no recipient");
        ++to->messages;
        return Ok();
    }
    if (op == "notification.get") {
        std::string children;
        for (const auto& n : me.notifications)
            children += "<notification" + Attr("id", n.id) + Attr("type", n.type) +
                        Attr("content", n.content) + "/>";
        return Ok({}, children);
    }
    if (op == "settings.download")
        return me.settings.empty() ? Fail(1020, "nothing stored")
                                   : Ok(Attr("info", "/files/settings.dat"));
    if (op == "settings.upload") {
        const std::optional<std::string> file = CommunityPart(req, "config");
        if (!file || file->empty()) {
            m_refused.push_back(op + ": no config part");
            return Fail(123, "no file");
        }
        me.settings = *file;
        return Ok();
    }
    if (op == "user.search" || op == "user.searchByCharacter") {
        std::string children;
        for (const auto& [uid, u] : m_users) {
            bool match = false;
            if (op == "user.searchByCharacter")
                match = std::any_of(u.characters.begin(), u.characters.end(), [&](auto& c) {
                    return c.region == Get(p, "character_region") &&
                           c.realm == Get(p, "character_realm") &&
                           c.name == Get(p, "character_name");
                });
            else if (p.count("uid"))
                match = uid == Uid(p);
            else if (p.count("username"))
                match = u.username == Get(p, "username");
            else if (p.count("email"))
                match = u.email == Get(p, "email");
            if (match) children += "<user" + UserAttributes(u) + "/>";
        }
        return Ok({}, children);
    }
    return Fail(1002, "unknown method");
}

void CommunityFake::Level(const httplib::Request& req, httplib::Response& res) {
    const Params p = ParamsOf(req);
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("level");
    const User* u = Find(Uid(p));
    res.status = 200;
    if (Get(p, "action") != "level" || !p.count("uid")) m_refused.push_back("level: bad query");
    if (!u || u->levelText.empty() || Get(p, "action") != "level") {
        res.set_content(std::string(kXmlHead) + "<bbs success=\"0\"/>", "text/xml");
        return;
    }
    res.set_content(std::string(kXmlHead) + "<bbs success=\"1\"" + Attr("curValue", u->curValue) +
                        Attr("maxValue", u->maxValue) + Attr("groupid", u->groupId) +
                        Attr("level", u->levelText) + Attr("tip", u->tip) + "/>",
                    "text/xml");
}

void CommunityFake::Avatar(const httplib::Request& req, httplib::Response& res) {
    const Params p = ParamsOf(req);
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("avatar");
    const User* u = Find(Uid(p));
    if (!u || u->picture.empty()) {
        res.status = 200;
        res.set_content("no picture", "text/plain");
        return;
    }
    res.status = 302;
    res.set_header("Location",
                   "  " + m_server.Url("/avatars/" + std::to_string(u->uid) + ".jpg") + " ");
}

void CommunityFake::AvatarImage(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("avatar-image");
    const std::string name = req.path.substr(req.path.rfind('/') + 1);
    const User* u = Find(static_cast<std::uint32_t>(std::strtoul(name.c_str(), nullptr, 10)));
    if (!u || u->picture.empty()) {
        res.status = 404;
        res.set_content("gone", "text/plain");
        return;
    }
    res.status = 200;
    res.set_content(u->picture, "image/jpeg");
}

void CommunityFake::SettingsFile(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("settings-file");
    const User* me = SessionUser(req);
    if (!me || me->settings.empty()) {
        res.status = 403;
        res.set_content("forbidden", "text/plain");
        return;
    }
    res.status = 200;
    res.set_content(me->settings, "application/octet-stream");
}

}  // namespace vm::dev
