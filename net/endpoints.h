#pragma once

#include <filesystem>
#include <string>

namespace vm {

// Every server the program talks to. Origins are scheme and host with an optional port and no
// trailing slash; communityHost and avatarHost are host names with an optional port.
// The defaults live under the reserved .example domain; VELMORA_ENDPOINTS=/path/file.ini
// replaces any of them from its [Endpoints] section.
struct Endpoints {
    std::string telecomMirror = "http://mirror1.velmora.example";
    std::string netcomMirror = "http://mirror2.velmora.example";
    std::string passportOrigin = "http://passport.velmora.example";
    std::string statServer = "http://stat.velmora.example";
    std::string dataServer = "http://data.velmora.example";
    std::string communityHost = "community.velmora.example";
    std::string avatarHost = "avatar.velmora.example";
    std::string embedServer = "http://embed.velmora.example";
    std::string homePage = "http://www.velmora.example";
    std::string databaseSite = "http://db.velmora.example";
    std::string forumSite = "http://bbs.velmora.example";
    std::string accountServer = "http://account.velmora.example";
    std::string portalSite = "http://portal.velmora.example";
    std::string acceleratorSite = "http://speed.velmora.example";
    std::string gameHost = "tovrin.example";
};

// The defaults with the keys of file's [Endpoints] section applied (a missing file changes
// nothing). A trailing slash on an origin is dropped.
Endpoints LoadEndpoints(const std::filesystem::path& file);

// The endpoints of this process: loaded on first use (defaults plus VELMORA_ENDPOINTS), or
// whatever SetEndpoints installed last. Safe from any thread; returns a copy.
Endpoints GetEndpoints();
void SetEndpoints(const Endpoints& endpoints);

// Fixed paths on those servers.
constexpr char kPassportVerifyPath[] = "/passport_verify_account.php";
constexpr char kPassportDownloadPath[] = "/passport_download_files.php?type=tvrnconfig";
constexpr char kPassportUploadPath[] = "/passport_upload_files.php?type=tvrnconfig";
constexpr char kStatUrlFormat[] = "/stat.php?action=%d&uid=%s&verify=%s&version=tvrn";
constexpr char kDataPingPath[] = "/main.php?cache=0&module=velmora_tvrn_data_receiver&ping=ping";
constexpr char kDataUploadPath[] = "/main.php";
constexpr char kAvatarUrlPrefix[] = "/avatar.php?uid=";

// Full URLs built from the current endpoints.
std::string PassportOrigin();
std::string PassportVerifyUrl();
std::string PassportDownloadUrl();
std::string PassportUploadUrl();
std::string StatUrl(int action, const std::string& uid, const std::string& verify);
std::string DataPingUrl();
std::string DataUploadUrl();
std::string CommunityHost();
std::string AvatarUrlPrefix();

}  // namespace vm
