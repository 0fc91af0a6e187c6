#include "tools/devservices/PassportFake.h"

#include <ctime>

namespace vm::dev {
namespace {

constexpr char kTimeout[] = "error:登录超时";

std::string HttpDate(std::time_t t) {
    char text[64];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

// The value of one cookie in a Cookie header.
std::string CookieValue(const std::string& header, const std::string& name) {
    std::size_t p = 0;
    while (p < header.size()) {
        while (p < header.size() && (header[p] == ' ' || header[p] == ';')) ++p;
        const auto end = header.find(';', p);
        const std::string item = header.substr(p, end - p);
        const auto eq = item.find('=');
        if (eq != std::string::npos && item.substr(0, eq) == name) return item.substr(eq + 1);
        if (end == std::string::npos) break;
        p = end + 1;
    }
    return {};
}

}  // namespace

PassportFake::PassportFake(HttpRoutes& server) : m_server(server) {
    server.On("GET", "/passport_verify_account.php",
              [this](const httplib::Request& q, httplib::Response& r) { Verify(q, r); });
    server.On("POST", "/passport_upload_files.php",
              [this](const httplib::Request& q, httplib::Response& r) { Upload(q, r); });
    server.On("GET", "/passport_download_files.php",
              [this](const httplib::Request& q, httplib::Response& r) { Download(q, r); });
}

std::string PassportFake::FilePath(std::size_t index) const {
    return "/files/u" + std::to_string(index + 1) + "/tvrnconfig.dat";
}

void PassportFake::AddUser(User user) {
    std::size_t index;
    {
        std::lock_guard<std::mutex> g(m_lock);
        index = m_users.size();
        m_users.push_back(std::move(user));
    }
    m_server.On("GET", FilePath(index),
                [this, index](const httplib::Request&, httplib::Response& r) {
                    std::lock_guard<std::mutex> g(m_lock);
                    m_log.push_back("file");
                    r.set_content(m_users[index].archive, "application/octet-stream");
                });
}

std::optional<PassportFake::User> PassportFake::GetUser(const std::string& userName) const {
    std::lock_guard<std::mutex> g(m_lock);
    for (const User& u : m_users)
        if (u.userName == userName) return u;
    return std::nullopt;
}

void PassportFake::SetArchive(const std::string& userName, std::string archive) {
    std::lock_guard<std::mutex> g(m_lock);
    for (User& u : m_users)
        if (u.userName == userName) u.archive = archive;
}

void PassportFake::DropSessions() {
    std::lock_guard<std::mutex> g(m_lock);
    m_sessions.clear();
}

std::vector<std::string> PassportFake::Log() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_log;
}

std::vector<std::string> PassportFake::Refused() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_refused;
}

long PassportFake::LastCookieSeconds() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_lastCookieSeconds;
}

void PassportFake::ClearLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.clear();
}

std::optional<std::string> PassportFake::MultipartFile(const std::string& body) {
    // One part named "data" holding "tvrnconfig.dat", as the upload script reads it.
    const std::string head =
        "--velmoraboundary1\r\n"
        "Content-Disposition: form-data; name=\"data\"; filename=\"tvrnconfig.dat\"\r\n"
        "Content-Type: application/octet-stream\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\n";
    const std::string tail = "\r\n--velmoraboundary1--\r\n";
    if (body.size() < head.size() + tail.size() || body.compare(0, head.size(), head) != 0 ||
        body.compare(body.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    return body.substr(head.size(), body.size() - head.size() - tail.size());
}

PassportFake::User* PassportFake::SessionUser(const httplib::Request& req) {
    const std::string token = CookieValue(req.get_header_value("Cookie"), kSessionCookie);
    auto it = m_sessions.find(token);
    return it == m_sessions.end() ? nullptr : &m_users[it->second];
}

void PassportFake::Verify(const httplib::Request& req, httplib::Response& res) {
    const std::string func = req.get_param_value("func");
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back(func);
    if (func == "login") {
        const std::string name = req.get_param_value("loginusername");
        const std::string password = req.get_param_value("loginpassword");
        const long seconds = std::atol(req.get_param_value("cookietimeinsec").c_str());
        m_lastCookieSeconds = seconds;
        for (std::size_t i = 0; i < m_users.size(); ++i) {
            if (m_users[i].userName != name || m_users[i].password != password) continue;
            // Appended: GCC 12 at -O3 misreads `"t" + std::string&&` as an overlapping copy.
            std::string token = "t";
            token += std::to_string(m_nextToken++);
            m_sessions[token] = i;
            std::string cookie = std::string(kSessionCookie) + "=" + token + "; path=/";
            if (seconds > 0) cookie += "; expires=" + HttpDate(std::time(nullptr) + seconds);
            res.set_header("Set-Cookie", cookie);
            res.set_content("login success\r\n\r\n" + m_users[i].accountText, "text/plain");
            return;
        }
        res.set_content("login failed", "text/plain");
    } else if (func == "checkuser") {
        User* me = SessionUser(req);
        res.set_content(me ? "login success\r\n\r\n" + me->accountText : "login failed",
                        "text/plain");
    } else if (func == "check") {
        User* me = SessionUser(req);
        res.set_content(me ? me->accountText : "", "text/plain");
    } else {
        m_refused.push_back("verify: func " + func);
        res.status = 400;
        res.set_content("error:bad request", "text/plain");
    }
}

void PassportFake::Upload(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("upload");
    User* me = SessionUser(req);
    std::optional<std::string> file;
    if (req.get_header_value(HttpRoutes::kRealContentType) ==
        "multipart/form-data, boundary=velmoraboundary1")
        file = MultipartFile(req.body);
    if (req.get_param_value("type") != "tvrnconfig") {
        m_refused.push_back("upload: type " + req.get_param_value("type"));
        res.status = 400;
        res.set_content("error:bad request", "text/plain");
    } else if (!me)
        res.set_content(kTimeout, "text/plain");
    else if (!file || file->empty()) {
        m_refused.push_back("upload: no tvrnconfig.dat part");
        res.set_content("error:上传的文件无效", "text/plain");
    } else {
        me->archive = *file;
        res.set_content("success", "text/plain");
    }
}

void PassportFake::Download(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(m_lock);
    m_log.push_back("download");
    User* me = SessionUser(req);
    if (req.get_param_value("type") != "tvrnconfig") {
        m_refused.push_back("download: type " + req.get_param_value("type"));
        res.status = 400;
        res.set_content("error:bad request", "text/plain");
    } else if (!me)
        res.set_content(kTimeout, "text/plain");
    else if (me->archive.empty())
        res.set_content("error:服务器上没有你的配置", "text/plain");
    else
        res.set_content("success\n" + FilePath(static_cast<std::size_t>(me - m_users.data())),
                        "text/plain");
}

}  // namespace vm::dev
