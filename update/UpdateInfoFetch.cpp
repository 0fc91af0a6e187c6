#include "update/UpdateInfoFetch.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "app/TemporaryFolder.h"
#include "archive/SafePath.h"
#include "archive/ZipArchive.h"
#include "net/HttpFetch.h"
#include "net/RequestLimits.h"
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
    ApplyMirrorLimits(request, limit);
    request.onHead = [&](const HttpResponseHead& head) {
        get.status = head.status;
        return !IsHttpError(head.status);
    };
    request.onData = [&](const char* data, std::size_t n) {
        get.body.append(data, n);
        return true;
    };
    get.result = SharedSessionRequest(std::move(request));
    get.tooLarge = get.result.tooLarge;
    if (!get.result.Ok()) get.body.clear();
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

// Makes room for file: whatever stands where file or a folder above it must be (a leftover
// of an archive a mirror made, an interrupted write) goes; only below the temporary folder.
void MakeWayFor(const fs::path& file) {
    ClearFolderWay(file.parent_path());
    std::error_code ec;
    if (fs::symlink_status(file, ec).type() == fs::file_type::directory) fs::remove_all(file, ec);
}

}  // namespace

void ClearFolderWay(const fs::path& folder) {
    fs::path temp = fs::path(TemporaryFolder()).lexically_normal();
    if (temp.filename().empty()) temp = temp.parent_path();
    const fs::path wanted = folder.lexically_normal();
    auto [t, w] = std::mismatch(temp.begin(), temp.end(), wanted.begin(), wanted.end());
    if (t != temp.end()) return;
    fs::path at = temp;
    for (; w != wanted.end(); ++w) {
        if (w->empty()) continue;
        at /= *w;
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(at, ec).type();
        if (type == fs::file_type::not_found) return;
        if (type != fs::file_type::directory) fs::remove(at, ec);
    }
}

bool FetchChecksums(std::string* reason) {
    CVelmoraApp& app = theApp();
    SmallGet get =
        GetSmall(app.MirrorState().checksumUrl.Get(), CurrentRequestLimits().checksumCap);
    if (reason && (get.result.tooSlow || get.result.pastDeadline || get.result.tooLarge))
        *reason = get.result.errorText;
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
        const std::uint64_t cap = CurrentRequestLimits().infoArchiveCap;
        SmallGet get = GetSmall(app.MirrorState().infoUrl.Get(), cap);
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
        // Only "Info" is taken, under its own name; nothing else the archive holds is
        // written anywhere, so no name a mirror picks can stand in a later run's way.
        MakeWayFor(local);
        std::string error;
        if (!ExtractZipEntry(get.body, kInfoFileName, local, ZipLimits{cap, cap}, error)) {
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
    // In a folder of their own: a set's folder is named by the mirror, and must not land on
    // "Info", the staging folder or a staged file.
    fs::path dir = fs::path(TemporaryFolder()) / "filelists";
    // The set's folder is written "/name"; one that could leave the temporary folder gets a
    // name made from its MD5 instead.
    const std::size_t start = setFolder.find_first_not_of("/\\");
    if (auto safe = SafeRelativePath(start == std::string::npos ? "" : setFolder.substr(start)))
        dir /= *safe;
    else
        dir /= "set-" + platform::Md5Hex(setFolder);
    return dir / kFileListName;
}

fs::path CachedFileEntriesPath(const std::string& setFolder) {
    return CachedFileListPath(setFolder).replace_filename("filelist.entries");
}

std::optional<std::string> FetchFileList(const std::string& setFolder, const std::string& url,
                                         const ListDownloader& download, std::string* listMd5) {
    const fs::path local = CachedFileListPath(setFolder);
    const std::uint64_t cap = CurrentRequestLimits().fileListCap;
    // The copy from an earlier run, read once: its MD5 decides, and is the one handed back.
    {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(local, ec);
        std::optional<std::string> document;
        if (!ec && size <= cap && fs::is_regular_file(local, ec))
            document = platform::ReadWholeFile(local);
        if (document) {
            std::string sum = platform::Md5Hex(*document);
            if (sum == theApp().PublishedState().expectedListChecksum.Get()) {
                if (listMd5) *listMd5 = std::move(sum);
                return document;
            }
        }
    }
    {
        MakeWayFor(local);
        std::error_code ec;
        fs::create_directories(local.parent_path(), ec);
        const fs::path archive = local.string() + kArchiveSuffix;
        MakeWayFor(archive);
        if ((download ? download(url, archive) : HttpFetchToFile(url, archive, cap)) != 0)
            return std::nullopt;
        // Only the list itself is taken from the archive.
        std::string error;
        const bool extracted =
            ExtractZipFileEntry(archive, kFileListName, local, ZipLimits{cap, cap}, error);
        fs::remove(archive, ec);
        if (!extracted) {
            theApp().Prompt(error, "Velmora", MB_OK | MB_ICONERROR);
            return std::nullopt;
        }
    }
    std::optional<std::string> document = platform::ReadWholeFile(local);
    if (document && listMd5) *listMd5 = platform::Md5Hex(*document);
    return document;
}

}  // namespace vm
