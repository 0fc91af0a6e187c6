#include "net/endpoints.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "app/SettingsKeys.h"
#include "platform/IniFile.h"

namespace vm {
namespace {

std::mutex g_lock;
std::optional<Endpoints> g_endpoints;

void Apply(const platform::IniFile& ini, const settings::StringKey& key, std::string& field,
           bool origin) {
    std::optional<std::string> v = ini.Read(key.section, key.name);
    if (!v || v->empty()) return;
    std::string value = *v;
    while (origin && !value.empty() && value.back() == '/') value.pop_back();
    if (!value.empty()) field = value;
}

}  // namespace

Endpoints LoadEndpoints(const std::filesystem::path& file) {
    Endpoints e;
    platform::IniFile ini(file);
    Apply(ini, settings::kTelecomMirror, e.telecomMirror, true);
    Apply(ini, settings::kNetcomMirror, e.netcomMirror, true);
    Apply(ini, settings::kPassportOrigin, e.passportOrigin, true);
    Apply(ini, settings::kStatServer, e.statServer, true);
    Apply(ini, settings::kDataServer, e.dataServer, true);
    Apply(ini, settings::kCommunityHost, e.communityHost, false);
    Apply(ini, settings::kAvatarHost, e.avatarHost, false);
    Apply(ini, settings::kEmbedServer, e.embedServer, true);
    Apply(ini, settings::kHomePage, e.homePage, true);
    Apply(ini, settings::kDatabaseSite, e.databaseSite, true);
    Apply(ini, settings::kForumSite, e.forumSite, true);
    Apply(ini, settings::kAccountServer, e.accountServer, true);
    Apply(ini, settings::kPortalSite, e.portalSite, true);
    Apply(ini, settings::kAcceleratorSite, e.acceleratorSite, true);
    Apply(ini, settings::kGameHost, e.gameHost, false);
    return e;
}

Endpoints GetEndpoints() {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_endpoints) {
        const char* file = std::getenv("VELMORA_ENDPOINTS");
        g_endpoints = (file && *file) ? LoadEndpoints(file) : Endpoints{};
    }
    return *g_endpoints;
}

void SetEndpoints(const Endpoints& endpoints) {
    std::lock_guard<std::mutex> g(g_lock);
    g_endpoints = endpoints;
}

std::string PassportOrigin() {
    return GetEndpoints().passportOrigin;
}
std::string PassportVerifyUrl() {
    return PassportOrigin() + kPassportVerifyPath;
}
std::string PassportDownloadUrl() {
    return PassportOrigin() + kPassportDownloadPath;
}
std::string PassportUploadUrl() {
    return PassportOrigin() + kPassportUploadPath;
}

std::string StatUrl(int action, const std::string& uid, const std::string& verify) {
    const std::string server = GetEndpoints().statServer;
    std::string path(sizeof(kStatUrlFormat) + uid.size() + verify.size() + 16, '\0');
    int n = std::snprintf(path.data(), path.size(), kStatUrlFormat, action, uid.c_str(),
                          verify.c_str());
    path.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return server + path;
}

std::string DataPingUrl() {
    return GetEndpoints().dataServer + kDataPingPath;
}
std::string DataUploadUrl() {
    return GetEndpoints().dataServer + kDataUploadPath;
}
std::string CommunityHost() {
    return GetEndpoints().communityHost;
}
std::string AvatarUrlPrefix() {
    return "http://" + GetEndpoints().avatarHost + kAvatarUrlPrefix;
}

}  // namespace vm
