#include "update/IsolationForecast.h"

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "app/TemporaryFolder.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "update/CFileListModel.h"
#include "update/FileEntries.h"
#include "update/FileListParser.h"
#include "update/UnknownAddOns.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

constexpr char kInterfacePrefix[] = "interface/";

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

// The add-on component of a lower-cased "interface/..." path: the name after "interface/".
std::string Component(const std::string& lowerPath) {
    if (lowerPath.rfind(kInterfacePrefix, 0) != 0) return {};
    const std::string below = lowerPath.substr(sizeof kInterfacePrefix - 1);
    return below.substr(0, below.find('/'));
}

// Every non-folder entry at or below path, as the update run's walk sees them (links are
// not followed).
void Collect(const fs::path& path, std::vector<std::string>& out) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        out.push_back(path.string());
        return;
    }
    std::error_code ec;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        if (::lstat(it->path().c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            out.push_back(it->path().string());
    }
}

}  // namespace

std::vector<std::string> LastListPaths() {
    // Each set keeps its list in a folder of its own below "filelists" in the temporary folder.
    const fs::path temp = TemporaryFolder();
    fs::path newest;
    fs::file_time_type newestTime{};
    auto consider = [&](const fs::path& candidate) {
        std::error_code ec;
        if (!fs::is_regular_file(candidate, ec)) return;
        const fs::file_time_type t = fs::last_write_time(candidate, ec);
        if (!ec && (newest.empty() || t > newestTime)) {
            newest = candidate;
            newestTime = t;
        }
    };
    consider(temp / kFileListName);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(temp / "filelists", ec), end; !ec && it != end;
         it.increment(ec))
        if (it->path().filename() == kFileListName) consider(it->path());
    if (newest.empty()) return {};
    std::optional<std::string> document = platform::ReadWholeFile(newest);
    if (!document) return {};
    CFileListModel model;
    if (ParseFileListInto(*document, model, ModelFill::Replace).outcome !=
        FileListParseResult::Outcome::Ok)
        return {};
    std::vector<std::string> paths;
    for (const tagFILEINFO& entry : BuildFileEntries(model)) paths.push_back(entry.localPath);
    return paths;
}

IsolationForecast ForecastIsolation(const std::string& gameFolder, const std::string& name,
                                    const std::vector<std::string>& listPaths) {
    IsolationForecast forecast;
    if (listPaths.empty()) return forecast;
    const std::string game = WithSlash(gameFolder);
    const std::string temp = TemporaryFolder();

    std::set<std::string> listed;            // lower-cased "interface/..." paths
    std::set<std::string> listedComponents;  // lower-cased add-on names
    std::vector<std::string> staged;         // the list's paths as the run hands them over
    for (const std::string& path : listPaths) {
        const std::string lower = platform::AsciiLower(path);
        listed.insert(lower);
        listedComponents.insert(Component(lower));
        staged.push_back(temp + path);
    }

    // The files of the entry the run's comparison would name as candidates.
    std::vector<std::string> files;
    Collect(fs::path(game) / "Interface" / name, files);
    std::vector<std::string> candidates;
    for (const std::string& file : files) {
        if (!listed.count(platform::AsciiLower(file.substr(game.size()))))
            candidates.push_back(file);
    }
    forecast.next = NextRun::Stays;
    if (candidates.empty()) return forecast;

    const int mode = theApp().GetProfile(settings::kDeleteMode);
    if (mode == 1) {
        forecast.next = NextRun::Isolates;
        forecast.reason = "DeleteMode=1：设置为总是隔离不明插件，下次更新会再次隔离它。";
        return forecast;
    }
    const bool asked = !UnknownAddOns(game, temp).Group(candidates, staged).empty();
    if (mode == 2) {
        // Kept, unless this program installed it and the list has dropped it.
        std::error_code ec;
        const bool folder = fs::is_directory(fs::path(game) / "Interface" / name, ec);
        const bool ours = folder && !listedComponents.count(platform::AsciiLower(name)) &&
                          UnknownAddOns(game, temp).Group(candidates, {}).empty();
        if (ours) {
            forecast.next = NextRun::Isolates;
            forecast.reason =
                "它是Velmora安装的插件，已不在更新列表中：即使DeleteMode=2（保留不明插件），"
                "下次更新也会再次隔离它。";
        }
        return forecast;
    }
    if (asked) {
        forecast.next = NextRun::Asks;
        forecast.reason = "DeleteMode=0：下次更新会再次询问是否隔离它。";
    } else {
        forecast.next = NextRun::Isolates;
        forecast.reason =
            "DeleteMode=0：它是Velmora安装的插件或属于更新列表中的插件，下次更新不询问就会再次"
            "隔离它。";
    }
    return forecast;
}

std::string ForecastMark(const IsolationForecast& forecast) {
    switch (forecast.next) {
        case NextRun::Isolates:
            return "下次更新会再次隔离";
        case NextRun::Asks:
            return "下次更新会再次询问";
        case NextRun::Stays:
        case NextRun::Unknown:
            break;
    }
    return {};
}

}  // namespace vm
