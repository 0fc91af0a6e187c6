#pragma once

#include <string>
#include <string_view>

// Every INI entry the program reads or writes, each named here once: "Velmora.ini" (read and
// written through theApp().GetProfile/WriteProfile) and the endpoints file that
// VELMORA_ENDPOINTS names (net/Endpoints). Nothing else spells a section or a key;
// scripts/check-settings-keys fails when something does.
//
// Each entry carries the default its reader passes. Where two readers of one entry pass
// different defaults, the second default is a copy made with WithDefault, so the name stays
// written once and each reader keeps its own behaviour.

namespace vm::settings {

struct IntKey {
    const char* section;
    const char* name;
    int def;
    constexpr IntKey WithDefault(int other) const { return {section, name, other}; }
};

struct StringKey {
    const char* section;
    const char* name;
    const char* def;
    constexpr StringKey WithDefault(const char* other) const { return {section, name, other}; }
};

// Bytes stored as two letters per byte; a missing or unreadable value has no default.
struct BinaryKey {
    const char* section;
    const char* name;
};

// [Path]
// 0: the game is in the program's folder; 1: where kCustomPath says.
inline constexpr IntKey kPathType{"Path", "PathType", 0};
// The wizard's game page reads "never set" as -1 and then looks for the game.
inline constexpr IntKey kPathTypeOrUnset = kPathType.WithDefault(-1);
// Full path of the game's executable (or of its launcher).
inline constexpr StringKey kCustomPath{"Path", "CustomPath", ""};

// [Update]
// 0: never chosen (the mirror dialog shows at start), 1: Telecom, else Netcom (written 1 or 2).
inline constexpr IntKey kServer{"Update", "Server", 0};
// Expected MD5 of the cached update information and file list; read at start, never written.
inline constexpr StringKey kInfoChecksum{"Update", "InfoChecksum", ""};
inline constexpr StringKey kListChecksum{"Update", "ListChecksum", ""};
// The chosen add-on set; empty or unknown means the first published one.
inline constexpr StringKey kVersion{"Update", "Version", ""};
inline constexpr IntKey kAutoUpdate{"Update", "AutoUpdate", 1};
inline constexpr IntKey kOnceEveryDay{"Update", "OnceEveryDay", 0};
inline constexpr IntKey kAutoRun{"Update", "AutoRun", 0};
// 0: ask every time, 1: always move aside, 2: never.
inline constexpr IntKey kDeleteMode{"Update", "DeleteMode", 0};
// One INI entry, two encodings: keys are case-insensitive, so both name the same line. The
// engine's day test writes a 16-byte date record, the main window's automatic-update test
// decimal seconds; each reads the other's value as "not today" (record missing, or 0).
inline constexpr BinaryKey kLastUpdateRecord{"Update", "LastUpdate"};
inline constexpr IntKey kLastUpdateSeconds{"Update", "lastUpdate", 0};

// [Upload]
// 1: the main window runs the setup wizard when it opens, then writes 0.
inline constexpr IntKey kFirstRun{"Upload", "FirstRun", 1};

// [Run]
// 1: the game's particle effects are switched off before it starts.
inline constexpr IntKey kDisableParticle{"Run", "DisableParticle", 0};

// [Misc]
inline constexpr IntKey kConfirmExit{"Misc", "ConfirmExit", 1};
// The close button: "true" to the tray, "false" exit, "tip" ask. The main window reads a
// missing value as empty (ask), the settings dialog shows it as "true".
inline constexpr StringKey kCloseMeanMin{"Misc", "CloseMeanMin", ""};
inline constexpr StringKey kCloseMeanMinInSettings = kCloseMeanMin.WithDefault("true");
// State flags of the desktop-shortcut offer.
inline constexpr IntKey kNotifyShortcut2{"Misc", "NotifyShortcut2", 0};
inline constexpr IntKey kRefreshShortcut{"Misc", "RefreshShortcut", 0};
// The splash screen's picture and its link.
inline constexpr StringKey kADFilename{"Misc", "ADFilename", ""};
inline constexpr StringKey kADLink{"Misc", "ADLink", ""};

// [Guest]
inline constexpr IntKey kAutoLogin{"Guest", "AutoLogin", 0};
inline constexpr IntKey kRememberMe{"Guest", "RememberMe", 0};
// Stored user name and password, protected and written as hexadecimal text.
inline constexpr StringKey kDoor{"Guest", "Door", ""};
inline constexpr StringKey kKey{"Guest", "Key", ""};

// The endpoints file: [Endpoints], each value replacing a built-in server address when it
// is not empty (defaults are the built-in addresses, kept in net/Endpoints).
inline constexpr char kEndpointsSection[] = "Endpoints";
inline constexpr StringKey kTelecomMirror{kEndpointsSection, "TelecomMirror", ""};
inline constexpr StringKey kNetcomMirror{kEndpointsSection, "NetcomMirror", ""};
inline constexpr StringKey kPassportOrigin{kEndpointsSection, "PassportOrigin", ""};
inline constexpr StringKey kStatServer{kEndpointsSection, "StatServer", ""};
inline constexpr StringKey kDataServer{kEndpointsSection, "DataServer", ""};
inline constexpr StringKey kCommunityHost{kEndpointsSection, "CommunityHost", ""};
inline constexpr StringKey kAvatarHost{kEndpointsSection, "AvatarHost", ""};
inline constexpr StringKey kEmbedServer{kEndpointsSection, "EmbedServer", ""};
inline constexpr StringKey kHomePage{kEndpointsSection, "HomePage", ""};
inline constexpr StringKey kDatabaseSite{kEndpointsSection, "DatabaseSite", ""};
inline constexpr StringKey kForumSite{kEndpointsSection, "ForumSite", ""};
inline constexpr StringKey kAccountServer{kEndpointsSection, "AccountServer", ""};
inline constexpr StringKey kPortalSite{kEndpointsSection, "PortalSite", ""};
inline constexpr StringKey kAcceleratorSite{kEndpointsSection, "AcceleratorSite", ""};
inline constexpr StringKey kGameHost{kEndpointsSection, "GameHost", ""};

// INI text for whoever writes such a file by hand (the development server): "[section]"
// and "name=value", each ending in CR LF.
std::string SectionLine(std::string_view section);
std::string EntryLine(const StringKey& key, std::string_view value);

}  // namespace vm::settings
