#pragma once

// A passport server on an HttpRoutes (a test's TestServer or the development server): login,
// check-user and account check, and the settings archive upload and download. A login sets the
// session cookie "VMPASS" (with an expiry when the login asked for lasting cookies); upload and
// download answer "error:登录超时" to a request that does not carry a live session. Each user's
// archive is served at
// "/files/u<number>/tvrnconfig.dat", the path the download ticket names.
//
//   vm::dev::PassportFake passport(server);
//   passport.AddUser({.userName = "alice", .password = "pw", .accountText = "Alice"});
//   ... PassportLogin against server.Origin() ...
//   passport.Log();   // {"login", "check", "upload", "download", "file"}
//
// Like the server it refuses (status 400) an upload or download without "type=tvrnconfig" and
// an unknown "func", and does not take an upload whose one part is not "data" holding
// "tvrnconfig.dat" under its own content type; Refused() lists every refusal.
//
// Thread-safe: handlers run on the server's threads, the accessors on any other.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/devservices/HttpRoutes.h"

namespace vm::dev {

class PassportFake {
  public:
    static constexpr char kSessionCookie[] = "VMPASS";

    struct User {
        std::string userName;
        std::string password;
        std::string accountText;  // what a successful login or check answers
        std::string archive;      // the stored settings archive, empty when none
    };

    explicit PassportFake(HttpRoutes& server);
    PassportFake(const PassportFake&) = delete;
    PassportFake& operator=(const PassportFake&) = delete;

    void AddUser(User user);
    std::optional<User> GetUser(const std::string& userName) const;
    void SetArchive(const std::string& userName, std::string archive);
    // Every session ends, as when the server restarts.
    void DropSessions();
    std::vector<std::string> Log() const;
    std::vector<std::string> Refused() const;
    // The cookie lifetime the last login asked for ("cookietimeinsec").
    long LastCookieSeconds() const;
    void ClearLog();
    // The file part of a passport multipart body; nullopt when it is not one.
    static std::optional<std::string> MultipartFile(const std::string& body);

  private:
    void Verify(const httplib::Request& req, httplib::Response& res);
    void Upload(const httplib::Request& req, httplib::Response& res);
    void Download(const httplib::Request& req, httplib::Response& res);
    // The user of the request's session cookie; the caller holds m_lock.
    User* SessionUser(const httplib::Request& req);
    std::string FilePath(std::size_t index) const;

    HttpRoutes& m_server;
    mutable std::mutex m_lock;
    std::vector<User> m_users;
    std::map<std::string, std::size_t> m_sessions;  // token -> user index
    std::vector<std::string> m_log;
    std::vector<std::string> m_refused;
    long m_lastCookieSeconds = -1;
    int m_nextToken = 1;
};

}  // namespace vm::dev
