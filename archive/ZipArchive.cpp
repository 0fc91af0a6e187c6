#include "archive/ZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "archive/SafePath.h"
#include "platform/FileUtil.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

struct ZipDiscard {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileClose>;

std::string ZipErrorText(zip_error_t* err) {
    std::string text = zip_error_strerror(err);
    zip_error_fini(err);
    return text;
}

ZipHandle OpenMemory(std::string_view bytes) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
    if (!src) {
        zip_error_fini(&err);
        return nullptr;
    }
    zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
    zip_error_fini(&err);
    if (!za) zip_source_free(src);
    return ZipHandle(za);
}

bool IsLinkEntry(zip_t* za, zip_uint64_t index) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0) return false;
    return opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

// Creates the folders of relative below root one by one without following any link, so
// a link already on disk can never carry an entry elsewhere. false when a part is a link,
// is not a folder or cannot be created.
bool MakeFoldersInside(const fs::path& root, const fs::path& relative) {
    fs::path at = root;
    for (const fs::path& part : relative) {
        at /= part;
        std::error_code ec;
        fs::file_status st = fs::symlink_status(at, ec);
        if (st.type() == fs::file_type::not_found) {
            if (!fs::create_directory(at, ec) && ec) return false;
            st = fs::symlink_status(at, ec);
        }
        if (st.type() != fs::file_type::directory) return false;
    }
    return true;
}

enum class EntryOutcome { Written, Failed, Bomb };

// Streams one entry into a sibling temporary file and renames it into place.
EntryOutcome WriteEntry(zip_t* za, zip_uint64_t index, const fs::path& dest,
                        const ZipLimits& limits, std::uint64_t& total, std::string& error) {
    ZipFileHandle file(zip_fopen_index(za, index, 0));
    if (!file) {
        error = "解压文件失败：" + std::string(zip_strerror(za));
        return EntryOutcome::Failed;
    }
    std::string hidden = dest.filename().string();
    hidden.insert(0, 1, '.');
    hidden += ".XXXXXX";
    EntryOutcome outcome = EntryOutcome::Failed;
    auto copy = [&](int fd) {
        std::uint64_t done = 0;
        char buffer[64 * 1024];
        for (;;) {
            zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
            if (n < 0) {
                error = "解压文件失败：" + std::string(zip_file_strerror(file.get()));
                return false;
            }
            if (n == 0) return true;
            done += static_cast<std::uint64_t>(n);
            total += static_cast<std::uint64_t>(n);
            // The stored sizes may lie; count what actually comes out.
            if (done > limits.maxEntryBytes || total > limits.maxTotalBytes) {
                error = "压缩文件解压后过大，已拒绝解压。";
                outcome = EntryOutcome::Bomb;
                return false;
            }
            if (!platform::WriteAll(fd, buffer, static_cast<std::size_t>(n))) return false;
        }
    };
    if (!platform::WriteBesideThenRename(dest, {(dest.parent_path() / hidden).string()}, copy)) {
        if (error.empty()) error = platform::ErrnoText(errno);
        return outcome;
    }
    return EntryOutcome::Written;
}

}  // namespace

ZipExtractResult ExtractZipFile(const fs::path& archive, const fs::path& folder,
                                const ZipLimits& limits) {
    ZipExtractResult result;
    int code = 0;
    ZipHandle za(zip_open(archive.c_str(), ZIP_RDONLY, &code));
    if (!za) {
        zip_error_t err;
        zip_error_init_with_code(&err, code);
        result.error = "无法打开压缩文件：" + ZipErrorText(&err);
        return result;
    }
    result.opened = true;

    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    struct Planned {
        zip_uint64_t index;
        std::string name;
        std::string relative;
        bool folderEntry;
    };
    std::vector<Planned> planned;
    std::uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME)) {
            result.error = "解压文件失败：" + std::string(zip_strerror(za.get()));
            return result;
        }
        std::string name = st.name;
        auto relative = SafeRelativePath(name);
        std::uint64_t size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        if (!relative || IsLinkEntry(za.get(), static_cast<zip_uint64_t>(i)) ||
            size > limits.maxEntryBytes) {
            result.refused.push_back(std::move(name));
            continue;
        }
        declared += size;
        planned.push_back({static_cast<zip_uint64_t>(i), std::move(name), std::move(*relative),
                           EndsWithSeparator(st.name)});
    }
    if (declared > limits.maxTotalBytes) {
        result.error = "压缩文件解压后过大，已拒绝解压。";
        return result;
    }

    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path root = fs::canonical(folder, ec);
    if (ec) {
        result.error = platform::ErrnoText(ec.value());
        return result;
    }
    std::uint64_t total = 0;
    for (const Planned& entry : planned) {
        const fs::path relative(entry.relative);
        const fs::path dest = root / relative;
        if (!MakeFoldersInside(root, entry.folderEntry ? relative : relative.parent_path())) {
            result.refused.push_back(entry.name);
            continue;
        }
        if (entry.folderEntry) continue;
        std::string error;
        EntryOutcome outcome = WriteEntry(za.get(), entry.index, dest, limits, total, error);
        if (outcome != EntryOutcome::Written) {
            result.error = std::move(error);
            return result;
        }
        result.written.push_back(entry.relative);
    }
    return result;
}

std::optional<std::string> ReadZipEntry(std::string_view archive, std::string_view entryName,
                                        const ZipLimits& limits) {
    ZipHandle za = OpenMemory(archive);
    if (!za) return std::nullopt;
    zip_int64_t index = zip_name_locate(za.get(), std::string(entryName).c_str(), 0);
    if (index < 0) return std::nullopt;
    ZipFileHandle file(zip_fopen_index(za.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file) return std::nullopt;
    std::string out;
    char buffer[64 * 1024];
    for (;;) {
        zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (out.size() + static_cast<std::uint64_t>(n) > limits.maxEntryBytes) return std::nullopt;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

namespace {

bool ExtractOne(zip_t* za, std::string_view entryName, const fs::path& dest,
                const ZipLimits& limits, std::string& error) {
    if (!za) {
        error = "无法打开压缩文件。";
        return false;
    }
    const zip_int64_t index = zip_name_locate(za, std::string(entryName).c_str(), 0);
    if (index < 0 || IsLinkEntry(za, static_cast<zip_uint64_t>(index))) {
        error = "压缩文件中没有 " + std::string(entryName) + "。";
        return false;
    }
    std::uint64_t total = 0;
    ZipLimits one = limits;
    one.maxTotalBytes = limits.maxEntryBytes;
    return WriteEntry(za, static_cast<zip_uint64_t>(index), dest, one, total, error) ==
           EntryOutcome::Written;
}

}  // namespace

bool ExtractZipEntry(std::string_view archive, std::string_view entryName, const fs::path& dest,
                     const ZipLimits& limits, std::string& error) {
    ZipHandle za = OpenMemory(archive);
    return ExtractOne(za.get(), entryName, dest, limits, error);
}

bool ExtractZipFileEntry(const fs::path& archivePath, std::string_view entryName,
                         const fs::path& dest, const ZipLimits& limits, std::string& error) {
    int code = 0;
    ZipHandle za(zip_open(archivePath.c_str(), ZIP_RDONLY, &code));
    return ExtractOne(za.get(), entryName, dest, limits, error);
}

std::optional<std::vector<std::string>> ListZipEntries(std::string_view archive) {
    ZipHandle za = OpenMemory(archive);
    if (!za) return std::nullopt;
    std::vector<std::string> names;
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(za.get(), static_cast<zip_uint64_t>(i), 0);
        if (!name) return std::nullopt;
        names.emplace_back(name);
    }
    return names;
}

std::optional<std::string> MakeZip(
    const std::vector<std::pair<std::string, std::string>>& entries) {
    if (entries.empty()) return std::nullopt;
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &err);
    zip_error_fini(&err);
    if (!src) return std::nullopt;
    // Keep the buffer source alive past zip_close, which writes the archive into it.
    zip_source_keep(src);
    struct SourceFree {
        void operator()(zip_source_t* s) const { zip_source_free(s); }
    };
    std::unique_ptr<zip_source_t, SourceFree> keep(src);

    zip_error_init(&err);
    ZipHandle za(zip_open_from_source(src, ZIP_TRUNCATE, &err));
    zip_error_fini(&err);
    if (!za) return std::nullopt;
    for (const auto& [name, bytes] : entries) {
        zip_source_t* data = zip_source_buffer(za.get(), bytes.data(), bytes.size(), 0);
        if (!data) return std::nullopt;
        if (zip_file_add(za.get(), name.c_str(), data, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(data);
            return std::nullopt;
        }
    }
    if (zip_close(za.get()) != 0) return std::nullopt;
    za.release();

    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_open(src) != 0) return std::nullopt;
    std::string out;
    if (zip_source_stat(src, &st) == 0 && (st.valid & ZIP_STAT_SIZE)) out.reserve(st.size);
    char buffer[64 * 1024];
    for (;;) {
        zip_int64_t n = zip_source_read(src, buffer, sizeof buffer);
        if (n < 0) {
            zip_source_close(src);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    zip_source_close(src);
    return out;
}

bool WriteZipFile(const fs::path& archive, const std::vector<ZipFileEntry>& entries,
                  std::string& error) {
    if (entries.empty()) {
        error = "没有要打包的文件";
        return false;
    }
    // libzip writes beside the archive and renames at close.
    int code = 0;
    ZipHandle za(zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!za) {
        zip_error_t err;
        zip_error_init_with_code(&err, code);
        error = ZipErrorText(&err);
        return false;
    }
    for (const ZipFileEntry& entry : entries) {
        if (entry.file.empty()) {
            if (zip_dir_add(za.get(), entry.name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
                error = zip_strerror(za.get());
                return false;
            }
            continue;
        }
        zip_source_t* src = zip_source_file(za.get(), entry.file.c_str(), 0, -1);
        if (!src) {
            error = zip_strerror(za.get());
            return false;
        }
        if (zip_file_add(za.get(), entry.name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(src);
            error = zip_strerror(za.get());
            return false;
        }
    }
    if (zip_close(za.get()) != 0) {
        error = zip_strerror(za.get());
        return false;
    }
    za.release();
    return true;
}

}  // namespace vm
