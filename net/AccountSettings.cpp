#include "net/AccountSettings.h"

#include <algorithm>
#include <system_error>

#include "net/SettingsSync.h"
#include "platform/FileUtil.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

// A ZIP archive without entries: only the end-of-central-directory record. libzip never
// writes one (it deletes an archive that ends up empty), so an export with nothing to pack
// writes these bytes itself.
constexpr char kEmptyZip[22] = {'P', 'K', 5, 6};

bool EndsWith(std::string_view name, std::string_view tail) {
    return name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail;
}

// Whether the packer would add anything at the top of an account: a sub-folder (a folder entry
// of its own) or an "*ela" file.
bool HasPackableEntries(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_symlink(ec)) continue;
        if (it->is_directory(ec)) return true;
        if (it->is_regular_file(ec) && EndsWith(it->path().filename().string(), "ela")) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> ListAccounts() {
    std::vector<std::string> names;
    if (AccountFolder().empty()) return names;
    std::error_code ec;
    for (fs::directory_iterator it(AccountFolder(), ec), end; !ec && it != end; it.increment(ec))
        if (!it->is_symlink(ec) && it->is_directory(ec) &&
            !IsRestoreWorkFolder(it->path().filename().string()))
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsValidAccountName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

fs::path DefaultExportPath(const std::string& account) {
    return AccountFolder().parent_path() / (account + kAccountFileSuffix);
}

std::string AccountNameFromArchive(const fs::path& archive) {
    const std::string title = archive.filename().stem().string();
    return title.substr(0, title.find('.'));
}

bool ExportAccount(const std::string& account, const fs::path& target) {
    // An unusable game location gives no folder; never fall back to the current one.
    if (!IsValidAccountName(account) || target.empty() || AccountFolder().empty()) return false;
    const fs::path folder = AccountFolder() / account;
    std::error_code ec;
    if (!fs::is_directory(folder, ec) || fs::is_directory(target, ec)) return false;
    if (HasPackableEntries(folder)) return PackAccountFolder(account, target);
    return platform::WriteFileAtomic(target, std::string_view(kEmptyZip, sizeof kEmptyZip));
}

bool ImportAccount(const fs::path& archive, const std::string& account) {
    if (!IsValidAccountName(account)) return false;
    std::error_code ec;
    if (!fs::is_regular_file(archive, ec)) return false;
    return RestoreAccountFolder(account, archive);
}

}  // namespace vm
