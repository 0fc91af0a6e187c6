#pragma once

// A small community service on an HttpRoutes (a test's TestServer or the development server):
// users with friends, characters, notifications, message counters, stored settings, forum
// levels and pictures. Like the real service it sets a session cookie at login and answers
// code 21 to a member request that does not carry a live one; DropSessions forgets every
// session so that the client's re-login can be tested.
//
//   vm::dev::CommunityFake fake(server);
//   fake.AddUser({.uid = 1, .username = "alice", .password = "secret1"});
//   ... run the community client against server.HostPort() ...
//   fake.Log();   // {"login", "friend.getList", ...}: "a" of public requests, "m.a" of member
//                 // requests, "level", "avatar", "avatar-image", "settings-file"
//
// Like the service it refuses (code 20) a request with the wrong verb, a missing or unknown
// field, parameters of a POST sent in its query, and (code 123) an upload whose multipart part
// is not named as the service expects; Refused() lists every refusal.
//
// Thread-safe: handlers run on the server's threads, the accessors on any other.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/devservices/HttpRoutes.h"

namespace vm::dev {

class CommunityFake {
  public:
    static constexpr char kSessionCookie[] = "VMSESSID";
    static constexpr char kVerifyCode[] = "1234";
    static constexpr char kVerifyPicture[] = "GIF89a-verify";

    struct Character {
        std::string region, realm, name, gender, faction, characterClass, race;
        bool primary = false;
    };
    struct Notification {
        int id = 0;
        int type = 0;
        std::string content;
    };
    struct User {
        std::uint32_t uid = 0;
        std::string username;
        std::string email;
        std::string password;
        int state = 1;
        int level = 1;
        int notification = 0;  // the count the login answer carries
        int messages = 0;
        int friendRequests = 0;
        std::vector<std::uint32_t> friends;
        std::vector<Character> characters;
        std::vector<Notification> notifications;
        std::string settings;  // the stored settings archive, empty when none
        std::string picture;   // the avatar, empty when none
        std::string levelText, tip;
        int curValue = 0, maxValue = 0, groupId = 0;
    };

    explicit CommunityFake(HttpRoutes& server);
    CommunityFake(const CommunityFake&) = delete;
    CommunityFake& operator=(const CommunityFake&) = delete;

    void AddUser(User user);
    // A copy of the user as the service holds it now.
    std::optional<User> GetUser(std::uint32_t uid) const;
    // Friendship both ways.
    void MakeFriends(std::uint32_t a, std::uint32_t b);
    void SetCounts(std::uint32_t uid, int messages, int friendRequests);
    // Every session ends, as when the service restarts.
    void DropSessions();
    // Operations seen, in order.
    std::vector<std::string> Log() const;
    void ClearLog();
    // The parameters of the last login ("username", "password", "expires").
    std::map<std::string, std::string> LastLogin() const;
    // "operation: reason" of every request refused, in order.
    std::vector<std::string> Refused() const;
    // The file bytes of the last armory upload.
    std::string LastArmory() const;

  private:
    using Params = std::map<std::string, std::string>;
    void Public(const httplib::Request& req, httplib::Response& res);
    void Member(const httplib::Request& req, httplib::Response& res);
    void Level(const httplib::Request& req, httplib::Response& res);
    void Avatar(const httplib::Request& req, httplib::Response& res);
    void AvatarImage(const httplib::Request& req, httplib::Response& res);
    void SettingsFile(const httplib::Request& req, httplib::Response& res);
    // The member answers; the caller holds m_lock.
    std::string MemberAnswer(User& me, const std::string& op, const Params& p,
                             const httplib::Request& req);
    User* Find(std::uint32_t uid);
    User* FindByName(const std::string& nameOrEmail);
    User* SessionUser(const httplib::Request& req);

    HttpRoutes& m_server;
    mutable std::mutex m_lock;
    std::map<std::uint32_t, User> m_users;
    std::map<std::string, std::uint32_t> m_sessions;  // token -> uid
    std::vector<std::string> m_log;
    Params m_lastLogin;
    std::string m_lastArmory;
    std::vector<std::string> m_refused;
    int m_nextToken = 1;
    std::uint32_t m_nextUid = 1000;
};

}  // namespace vm::dev
