#include "app/GameCandidates.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <system_error>

#include "app/GameFolder.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "platform/WineRegistry.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

// How deep below drive_c a prefix is searched when its registry names no install path, and
// how many entries at most: a prefix holds a whole Windows tree.
constexpr int kSearchDepth = 4;
constexpr int kSearchEntries = 20000;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Trimmed(std::string_view s) {
    return std::string(platform::Trim(s));
}

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool IsFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// Sub-folders of folder, in name order.
std::vector<fs::path> Folders(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool IsGameName(const fs::path& p) {
    return platform::AsciiLower(p.filename().string()) == platform::AsciiLower(kGameExecutableName);
}

// The first "Tovrin.exe" below folder, depth first in name order, at most depth folders down.
std::optional<fs::path> Search(const fs::path& folder, int depth, int& budget) {
    std::vector<fs::path> subfolders;
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (--budget < 0) return std::nullopt;
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& e : entries) {
        std::error_code typeError;
        if (e.is_symlink(typeError)) continue;  // never out of the prefix (dosdevices, z:)
        if (e.is_regular_file(typeError) && IsGameName(e.path())) return e.path();
        if (e.is_directory(typeError)) subfolders.push_back(e.path());
    }
    if (depth == 0) return std::nullopt;
    for (const fs::path& sub : subfolders) {
        const std::string name = platform::AsciiLower(sub.filename().string());
        if (name == "windows" || name == "programdata") continue;
        if (auto found = Search(sub, depth - 1, budget)) return found;
    }
    return std::nullopt;
}

// The game in a Wine prefix: the publisher's install path first, else a search of drive_c.
std::optional<fs::path> GameInPrefix(const fs::path& prefix) {
    if (!IsFolder(prefix / "drive_c")) return std::nullopt;
    const platform::WineRegistry registry(prefix);
    const char* keys[] = {"Software\\Halvar\\TVRN", "Software\\Wow6432Node\\Halvar\\TVRN"};
    for (const char* key : keys) {
        auto installPath = registry.GetMachineString(key, "InstallPath");
        if (!installPath) continue;
        std::string folder = *installPath;
        while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
            folder.pop_back();
        auto candidate = registry.ToUnixPath(folder + "\\" + kGameExecutableName);
        if (candidate && IsFile(*candidate)) return *candidate;
    }
    int budget = kSearchEntries;
    return Search(prefix / "drive_c", kSearchDepth, budget);
}

std::string Unquote(std::string value) {
    value = Trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

fs::path ExpandHome(const std::string& value, const fs::path& home) {
    if (value == "~") return home;
    if (value.rfind("~/", 0) == 0) return home / value.substr(2);
    return value;
}

// A Lutris game configuration: its "game:" section's exe and prefix.
struct LutrisGame {
    std::optional<fs::path> exe;
    std::optional<fs::path> prefix;
};

LutrisGame ReadLutrisConfig(const std::string& text, const fs::path& home) {
    LutrisGame game;
    bool inGame = false;
    for (const std::string& raw : Lines(text)) {
        if (raw.empty() || raw[0] == '#') continue;
        if (raw[0] != ' ' && raw[0] != '\t') {
            inGame = Trimmed(raw) == "game:";
            continue;
        }
        if (!inGame) continue;
        const std::string line = Trimmed(raw);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        const std::string value = Unquote(line.substr(colon + 1));
        if (value.empty()) continue;
        if (key == "exe") game.exe = ExpandHome(value, home);
        if (key == "prefix") game.prefix = ExpandHome(value, home);
    }
    return game;
}

std::vector<fs::path> YamlFiles(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string ext = it->path().extension().string();
        if (ext == ".yml" || ext == ".yaml") out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

class Collector {
  public:
    void Add(const fs::path& exe, CandidateSource source, const fs::path& origin) {
        std::error_code ec;
        fs::path key = fs::weakly_canonical(exe, ec);
        if (ec) key = exe.lexically_normal();
        if (!m_seen.insert(key.string()).second) return;
        m_found.push_back({exe, source, origin});
    }
    void AddPrefix(const fs::path& prefix, CandidateSource source) {
        std::error_code ec;
        fs::path key = fs::weakly_canonical(prefix, ec);
        if (!m_prefixes.insert((ec ? prefix : key).string()).second) return;
        if (auto exe = GameInPrefix(prefix)) Add(*exe, source, prefix);
    }
    std::vector<GameCandidate> Take() { return std::move(m_found); }

  private:
    std::set<std::string> m_seen;
    std::set<std::string> m_prefixes;
    std::vector<GameCandidate> m_found;
};

void Lutris(const LauncherHome& where, Collector& found) {
    for (const fs::path& folder :
         {where.configHome / "lutris/games", where.dataHome / "lutris/games"}) {
        for (const fs::path& file : YamlFiles(folder)) {
            std::optional<std::string> text = platform::ReadWholeFile(file);
            if (!text || text->size() > (1 << 20)) continue;
            const LutrisGame game = ReadLutrisConfig(*text, where.home);
            if (game.exe && game.exe->is_absolute() && IsGameName(*game.exe) && IsFile(*game.exe))
                found.Add(*game.exe, CandidateSource::Lutris, file);
            if (game.prefix) {
                if (auto exe = GameInPrefix(*game.prefix))
                    found.Add(*exe, CandidateSource::Lutris, file);
            }
        }
    }
}

void Proton(const LauncherHome& where, Collector& found) {
    std::vector<fs::path> roots = {
        where.home / ".steam/steam", where.home / ".steam/root", where.dataHome / "Steam",
        where.home / ".var/app/com.valvesoftware.Steam/.local/share/Steam"};
    std::set<std::string> seen;
    std::vector<fs::path> libraries;
    auto addLibrary = [&](const fs::path& library) {
        std::error_code ec;
        const fs::path key = fs::weakly_canonical(library, ec);
        if (IsFolder(library / "steamapps") && seen.insert((ec ? library : key).string()).second)
            libraries.push_back(library);
    };
    for (const fs::path& root : roots) {
        addLibrary(root);
        for (const char* vdf : {"steamapps/libraryfolders.vdf", "config/libraryfolders.vdf"}) {
            if (auto text = platform::ReadWholeFile(root / vdf); text && text->size() < (1 << 20))
                for (const fs::path& library : SteamLibraryFolders(*text)) addLibrary(library);
        }
    }
    for (const fs::path& library : libraries) {
        // The game installed as a Steam game (or beside one), then in each Proton prefix.
        for (const fs::path& game : Folders(library / "steamapps/common")) {
            int budget = kSearchEntries;
            if (auto exe = Search(game, 1, budget)) found.Add(*exe, CandidateSource::Proton, game);
        }
        for (const fs::path& app : Folders(library / "steamapps/compatdata"))
            found.AddPrefix(app / "pfx", CandidateSource::Proton);
    }
}

void Bottles(const LauncherHome& where, Collector& found) {
    for (const fs::path& folder :
         {where.dataHome / "bottles/bottles",
          where.home / ".var/app/com.usebottles.bottles/data/bottles/bottles"}) {
        for (const fs::path& bottle : Folders(folder))
            found.AddPrefix(bottle, CandidateSource::Bottles);
    }
}

fs::path FromEnv(const char* name, const fs::path& otherwise) {
    const char* value = std::getenv(name);
    if (value && *value == '/') return value;
    return otherwise;
}

}  // namespace

const char* CandidateSourceName(CandidateSource source) {
    switch (source) {
        case CandidateSource::ProgramFolder:
            return "程序目录";
        case CandidateSource::WinePrefix:
            return "Wine前缀";
        case CandidateSource::Lutris:
            return "Lutris";
        case CandidateSource::Proton:
            return "Steam Proton";
        case CandidateSource::Bottles:
            return "Bottles";
    }
    return "";
}

LauncherHome LauncherHome::FromEnvironment() {
    LauncherHome where;
    where.home = FromEnv("HOME", "/");
    where.configHome = FromEnv("XDG_CONFIG_HOME", where.home / ".config");
    where.dataHome = FromEnv("XDG_DATA_HOME", where.home / ".local/share");
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        where.winePrefix = prefix;
    where.programFolder = ProgramFolder();
    return where;
}

std::vector<GameCandidate> FindGameCandidates(const LauncherHome& where) {
    Collector found;
    if (!where.programFolder.empty() && IsFile(where.programFolder / kGameExecutableName))
        found.Add(where.programFolder / kGameExecutableName, CandidateSource::ProgramFolder,
                  where.programFolder);
    if (where.winePrefix) found.AddPrefix(*where.winePrefix, CandidateSource::WinePrefix);
    found.AddPrefix(where.home / ".wine", CandidateSource::WinePrefix);
    Lutris(where, found);
    Proton(where, found);
    Bottles(where, found);
    return found.Take();
}

std::vector<GameCandidate> FindGameCandidates() {
    return FindGameCandidates(LauncherHome::FromEnvironment());
}

std::vector<fs::path> SteamLibraryFolders(const std::string& vdf) {
    std::vector<fs::path> out;
    for (const std::string& line : Lines(vdf)) {
        // Quoted words: "path" "/games/Steam" (newer) or "1" "/games/Steam" (older).
        std::vector<std::string> words;
        std::string word;
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (!quoted) {
                if (c == '"') quoted = true;
                continue;
            }
            if (c == '\\' && i + 1 < line.size()) {
                word.push_back(line[++i]);
            } else if (c == '"') {
                words.push_back(std::move(word));
                word.clear();
                quoted = false;
            } else {
                word.push_back(c);
            }
        }
        if (words.size() != 2 || words[1].empty() || words[1][0] != '/') continue;
        const bool numbered =
            !words[0].empty() && words[0].find_first_not_of("0123456789") == std::string::npos;
        if (words[0] == "path" || numbered) out.emplace_back(words[1]);
    }
    return out;
}

}  // namespace vm
