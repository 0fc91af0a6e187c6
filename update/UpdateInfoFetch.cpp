#include "update/UpdateInfoFetch.h"

#include <cerrno>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "app/TemporaryFolder.h"
#include "archive/SafePath.h"
#include "archive/ZipArchive.h"
#include "net/HttpFetch.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "update/ChecksumText.h"
#include "update/FileListParser.h"
#include "update/MirrorEndpoints.h"
#include "update/UpdateInfo.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

constexpr char kNoCache[] = "Cache-Control: no-cache\r\n";
constexpr char kInfoFailedSuffix[] =
    "\n获取更新信息失败。如果多次失败后，请访问Velmora的支持论坛寻求帮助。";
constexpr char kVersionCheckFailed[] = "版本检测失败。";
// Both files are small; a body beyond this is not what a mirror sends.
constexpr std::uint64_t kMaxChecksumBody = 64 * 1024;
constexpr std::uint64_t kMaxInfoArchive = 64ull << 20;

struct SmallGet {
    HttpResult result;
    int status = 0;
    bool tooLarge = false;
    std::string body;
};

// GET url with no-cache into memory, stopping at an HTTP error status or past limit.
SmallGet GetSmall(const std::string& url, std::uint64_t limit) {
    SmallGet get;
    HttpRequest request;
    request.url = url;
    request.headers.push_back(kNoCache);
    request.onHead = [&](const HttpResponseHead& head) {
        get.status = head.status;
        if (head.contentLength && *head.contentLength > limit) get.tooLarge = true;
        return !IsHttpError(head.status) && !get.tooLarge;
    };
    request.onData = [&](const char* data, std::size_t n) {
        if (get.body.size() + n > limit) {
            get.tooLarge = true;
            return false;
        }
        get.body.append(data, n);
        return true;
    };
    get.result = SharedSessionRequest(std::move(request));
    return get;
}

void ShowInfoFailure(const std::string& reason) {
    theApp().Prompt(reason + kInfoFailedSuffix, "Velmora", MB_OK | MB_ICONERROR);
}

bool LocalCopyIsCurrent(const fs::path& file, const std::string& expected) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    std::optional<std::string> sum = platform::Md5HexOfFile(file);
    return sum && *sum == expected;
}

// Extracts archive into folder and deletes it. Empty when the archive brought `expected`
// (a stale copy left from an earlier run must not pass for it), else the reason.
std::string ExtractAndDelete(const fs::path& archive, const fs::path& folder,
                             const std::string& expected) {
    ZipExtractResult extracted = ExtractZipFile(archive, folder);
    std::error_code ec;
    fs::remove(archive, ec);
    if (!extracted.Ok()) return extracted.error;
    for (const std::string& name : extracted.written) {
        if (name == expected) return {};
    }
    return "压缩文件中没有 " + expected + "。";
}

}  // namespace

bool FetchChecksums() {
    CVelmoraApp& app = theApp();
    SmallGet get = GetSmall(app.MirrorState().checksumUrl.Get(), kMaxChecksumBody);
    if (!get.result.Ok() || IsHttpError(get.status)) return false;
    std::optional<ExpectedChecksums> sums = ParseChecksumText(get.body);
    if (!sums) return false;
    app.PublishedState().expectedInfoChecksum.Set(sums->info);
    app.PublishedState().expectedListChecksum.Set(sums->list);
    return true;
}

std::optional<UpdateInfoMap> FetchInformation() {
    CVelmoraApp& app = theApp();
    const fs::path folder = TemporaryFolder();
    const fs::path local = folder / kInfoFileName;

    if (!LocalCopyIsCurrent(local, app.PublishedState().expectedInfoChecksum.Get())) {
        SmallGet get = GetSmall(app.MirrorState().infoUrl.Get(), kMaxInfoArchive);
        if (IsHttpError(get.status)) {
            app.Prompt(kVersionCheckFailed, "Velmora", MB_OK | MB_ICONERROR);
            return std::nullopt;
        }
        if (get.tooLarge) {
            ShowInfoFailure("更新信息文件过大。");
            return std::nullopt;
        }
        if (!get.result.Ok()) {
            ShowInfoFailure(get.result.errorText.empty() ? "网络连接失败。" : get.result.errorText);
            return std::nullopt;
        }
        const fs::path archive = folder / (std::string(kInfoFileName) + kArchiveSuffix);
        if (!platform::WriteFileAtomic(archive, get.body)) {
            ShowInfoFailure(platform::ErrnoText(errno ? errno : EIO));
            return std::nullopt;
        }
        if (std::string error = ExtractAndDelete(archive, folder, kInfoFileName); !error.empty()) {
            ShowInfoFailure(error);
            return std::nullopt;
        }
    }
    std::optional<std::string> bytes = platform::ReadWholeFile(local);
    if (!bytes) {
        ShowInfoFailure(platform::ErrnoText(errno ? errno : ENOENT));
        return std::nullopt;
    }
    const std::string text = DecodeInfoBytes(*bytes);
    return app.PublishedState().updateInfo.With([&](UpdateInfoMap& info) {
        ParseInfoText(text, info);
        return info;
    });
}

PublishedSets PublishSets(const UpdateInfoMap& info) {
    Published& published = theApp().PublishedState();
    PublishedSets sets;
    published.setFolders.With([&](std::map<std::string, std::string>& folders) {
        RebuildPublishedSets(info, sets.names, folders);
        sets.folders = folders;
    });
    published.sets.Set(sets.names);
    return sets;
}

fs::path CachedFileListPath(const std::string& setFolder) {
    fs::path dir = TemporaryFolder();
    // The set's folder is written "/name"; one that could leave the temporary folder gets a
    // name made from its MD5 instead.
    const std::size_t start = setFolder.find_first_not_of("/\\");
    if (auto safe = SafeRelativePath(start == std::string::npos ? "" : setFolder.substr(start)))
        dir /= *safe;
    else
        dir /= "set-" + platform::Md5Hex(setFolder);
    return dir / kFileListName;
}

std::optional<std::string> FetchFileList(const std::string& setFolder, const std::string& url,
                                         const ListDownloader& download) {
    const fs::path local = CachedFileListPath(setFolder);
    if (!LocalCopyIsCurrent(local, theApp().PublishedState().expectedListChecksum.Get())) {
        std::error_code ec;
        fs::create_directories(local.parent_path(), ec);
        const fs::path archive = local.string() + kArchiveSuffix;
        if ((download ? download(url, archive) : HttpFetchToFile(url, archive)) != 0)
            return std::nullopt;
        if (std::string error = ExtractAndDelete(archive, local.parent_path(), kFileListName);
            !error.empty()) {
            theApp().Prompt(error, "Velmora", MB_OK | MB_ICONERROR);
            return std::nullopt;
        }
    }
    return platform::ReadWholeFile(local);
}

}  // namespace vm
