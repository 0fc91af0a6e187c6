#include "net/Passport.h"

#include <regex>

#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "net/CCheckAccountThread.h"
#include "net/CCookieStore.h"
#include "net/CPHPServer.h"
#include "net/Multipart.h"
#include "net/OneShot.h"
#include "net/endpoints.h"
#include "platform/DataProtection.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace vm {
namespace {

constexpr char kLoginSuccess[] = "login success";
thread_local PassportFailure t_lastFailure = PassportFailure::None;

// The name=value part of a session cookie, nullopt for a persistent one.
std::optional<std::string> SessionItem(const std::string& setCookie) {
    // Attribute names are case-insensitive; "Expires=" marks a persistent cookie as well.
    if (platform::AsciiLower(setCookie).find("expires=") != std::string::npos) return std::nullopt;
    return setCookie.substr(0, setCookie.find(';'));
}

void CommunityLogin(const std::string& userName, const std::string& password, bool remember) {
    try {
        if (IsEmailAddress(userName))
            GetServer()->Login({}, userName, password, remember);
        else
            GetServer()->Login(userName, {}, password, remember);
    } catch (const std::exception&) {
        // The passport login has succeeded; the community service is a bonus the user
        // retries from its own pages.
    }
}

}  // namespace

Guarded<std::string>& PassportAccountText() {
    static auto* text = new Guarded<std::string>;
    return *text;
}

bool IsEmailAddress(std::string_view text) {
    // The library's matcher recurses per character; no address is this long anyway.
    if (text.size() > 254) return false;
    static const std::regex pattern(R"(^\w+([-+.]\w+)*@\w+([-.]\w+)*\.\w+([-.]\w+)*$)");
    return std::regex_match(text.begin(), text.end(), pattern);
}

bool PassportLogin(const std::optional<std::string>& userName,
                   const std::optional<std::string>& password, int cookieSeconds) {
    const std::string cookies = BuildPassportCookieHeader(CookieSource::StoreOnly);
    std::string url = PassportVerifyUrl();
    if (userName && password)
        url += "?func=login&loginusername=" + UrlEncodeUtf8(*userName) +
               "&loginpassword=" + UrlEncodeUtf8(*password) +
               "&cookietimeinsec=" + std::to_string(cookieSeconds);
    else
        url += "?func=checkuser";

    t_lastFailure = PassportFailure::Refused;
    std::optional<OneShotResult> answer =
        OneShotRequest("GET", url, OneShotFlags::NoCacheWrite, {}, {}, cookies);
    if (!answer) {
        t_lastFailure = PassportFailure::Unreachable;
        return false;
    }

    if (cookieSeconds == 0) {
        std::vector<std::string> items;
        for (const std::string& value : answer->setCookies)
            if (auto item = SessionItem(value)) items.push_back(std::move(*item));
        SessionCookieList().Set(std::move(items));
    }

    const std::string& text = answer->body;
    if (text.compare(0, sizeof kLoginSuccess - 1, kLoginSuccess) != 0) return false;
    std::size_t start = sizeof kLoginSuccess - 1;
    while (start < text.size() && (text[start] == '\r' || text[start] == '\n')) ++start;
    PassportAccountText().Set(text.substr(start));
    t_lastFailure = PassportFailure::None;
    PostTo(theApp().MainTarget(), WM_VM_ACCOUNT_CHANGED);

    if (userName && password) CommunityLogin(*userName, *password, cookieSeconds != 0);
    return true;
}

PassportFailure LastPassportFailure() {
    return t_lastFailure;
}

void PassportLogout() {
    CCookieStore::Shared().ClearFor(PassportOrigin() + "/");
    SessionCookieList().Set({});
    PassportAccountText().Set({});
    GetServer()->Logout();
}

void StoreLogonChoice(const std::string& userName, const std::string& password,
                      LogonChoice choice) {
    CVelmoraApp& app = theApp();
    if (choice.autoLogin) choice.remember = true;
    app.WriteProfile(settings::kAutoLogin, choice.autoLogin ? 1 : 0);
    if (choice.remember) {
        platform::DataProtection protection;
        app.WriteProfile(settings::kDoor, protection.ProtectToHex(userName));
        app.WriteProfile(settings::kKey, protection.ProtectToHex(password));
        app.WriteProfile(settings::kRememberMe, 1);
    } else {
        app.WriteProfile(settings::kRememberMe, 0);
        app.WriteProfile(settings::kDoor, "");
        app.WriteProfile(settings::kKey, "");
    }
}

std::optional<StoredCredentials> LoadStoredCredentials() {
    CVelmoraApp& app = theApp();
    const std::string door = app.GetProfile(settings::kDoor);
    const std::string key = app.GetProfile(settings::kKey);
    if (door.empty() || key.empty()) return std::nullopt;
    platform::DataProtection protection;
    return StoredCredentials{protection.UnprotectFromHex(door), protection.UnprotectFromHex(key)};
}

bool IsPlausibleAccountName(std::string_view text) {
    if (text.empty() || text.size() > kMaxAccountNameBytes || !IsValidUtf8(text)) return false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f || c == '<' || c == '>' || c == '&') return false;
    }
    // C1 controls in their UTF-8 form.
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) == 0xc2 &&
            (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80)
            return false;
    return true;
}

int CCheckAccountThread::RunTask() {
    const std::string cookies = BuildPassportCookieHeader(CookieSource::StoreOnly);
    std::optional<OneShotResult> answer = OneShotRequest(
        "GET", PassportVerifyUrl() + "?func=check", OneShotFlags::NoCacheWrite, {}, {}, cookies);
    if (!answer) return 0;
    // Only a real answer naming an account is taken: an error page, markup or a control
    // sequence never becomes the name the window shows, nor counts as a logged-in start.
    if (answer->status == 200 && IsPlausibleAccountName(answer->body)) {
        PassportAccountText().Set(answer->body);
        theApp().StartStatistic(5);
    }
    PostTo(m_pMainWnd, WM_VM_ACCOUNT_CHANGED);
    return 0;
}

}  // namespace vm
