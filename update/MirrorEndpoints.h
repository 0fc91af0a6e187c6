#pragma once

#include <cstdint>
#include <string>

namespace vm {

// The two update mirrors: 0 the Telecom mirror ("电信服务器"), 1 the Netcom mirror
// ("网通服务器"). Their origins come from the endpoints (TelecomMirror, NetcomMirror).
struct MirrorUrls {
    std::string base;      // origin, no trailing slash
    std::string checksum;  // base + "/Velmora-TVRN/checksum.txt"
    std::string info;      // base + "/Velmora-TVRN/Info.z"
};

// Folder and files every mirror carries for the program itself.
inline constexpr char kMirrorProgramFolder[] = "Velmora-TVRN";
inline constexpr char kChecksumFileName[] = "checksum.txt";
inline constexpr char kInfoFileName[] = "Info";
inline constexpr char kArchiveSuffix[] = ".z";

// `Update`/`Server`: 0 (never chosen) and 1 mean the Telecom mirror, anything else the
// Netcom mirror.
int MirrorIndexForServer(int server);

MirrorUrls MirrorUrlsFor(int mirrorIndex);

// Host and port the latency test connects to (80 when the origin names none).
struct MirrorHost {
    std::string host;
    std::uint16_t port = 80;
};
MirrorHost MirrorHostFor(int mirrorIndex);

// Reads `Update`/`Server` and stores the chosen mirror's URLs in the application object.
void SetMirrorUrlsFromSettings();

}  // namespace vm
