#include "net/endpoints.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/IniFile.h"

namespace vm {
namespace {

std::mutex g_lock;
std::optional<Endpoints> g_endpoints;

void Apply(const platform::IniFile& ini, const char* key, std::string& field, bool origin) {
    std::optional<std::string> v = ini.Read("Endpoints", key);
    if (!v || v->empty()) return;
    std::string value = *v;
    while (origin && !value.empty() && value.back() == '/') value.pop_back();
    if (!value.empty()) field = value;
}

}  // namespace

Endpoints LoadEndpoints(const std::filesystem::path& file) {
    Endpoints e;
    platform::IniFile ini(file);
    Apply(ini, "TelecomMirror", e.telecomMirror, true);
    Apply(ini, "NetcomMirror", e.netcomMirror, true);
    Apply(ini, "PassportOrigin", e.passportOrigin, true);
    Apply(ini, "StatServer", e.statServer, true);
    Apply(ini, "DataServer", e.dataServer, true);
    Apply(ini, "CommunityHost", e.communityHost, false);
    Apply(ini, "AvatarHost", e.avatarHost, false);
    Apply(ini, "EmbedServer", e.embedServer, true);
    Apply(ini, "HomePage", e.homePage, true);
    Apply(ini, "DatabaseSite", e.databaseSite, true);
    Apply(ini, "ForumSite", e.forumSite, true);
    Apply(ini, "AccountServer", e.accountServer, true);
    Apply(ini, "PortalSite", e.portalSite, true);
    Apply(ini, "AcceleratorSite", e.acceleratorSite, true);
    Apply(ini, "GameHost", e.gameHost, false);
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
