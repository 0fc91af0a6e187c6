#include "update/InterfaceWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <future>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/Text.h"

namespace vm {

namespace {

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

bool IsBelow(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

std::string WithoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

class Walker {
  public:
    Walker(const std::string& gameReal, const std::function<bool()>& stop,
           const std::function<void(WalkedFile&)>& visit, std::vector<std::string>* leftovers)
        : m_gameReal(gameReal), m_stop(stop), m_visit(visit), m_leftovers(leftovers) {}

    // false when stopped.
    bool Folder(const std::string& dir, bool ambiguous, bool foreign) {
        if (!Enter(dir)) return true;
        const bool result = Entries(dir, ambiguous, foreign);
        m_ancestors.pop_back();
        return result;
    }

    // The same for the root, its entries shared between this thread and one helper; visit is
    // still called on this thread, in the order Folder would call it.
    bool FolderInTwo(const std::string& dir, const std::function<void()>& started);

  private:
    enum class Kind { Folder, LinkedFolder, File, Other };
    struct Item {
        std::string name;
        std::string folded;  // lower-cased, to find names that differ only in case
        Kind kind;
    };
    struct CloseFd {
        void operator()(DIR* d) const { ::closedir(d); }
    };

    // false for a folder already on the way down (a loop) or one that cannot be read.
    bool Enter(const std::string& dir) {
        struct stat self {};
        if (::stat(dir.c_str(), &self) != 0) return false;
        for (const auto& [dev, ino] : m_ancestors)
            if (dev == self.st_dev && ino == self.st_ino) return false;
        m_ancestors.emplace_back(self.st_dev, self.st_ino);
        return true;
    }

    // The folder's entries sorted so that names equal but for case are neighbours.
    static std::vector<Item> List(DIR* d) {
        std::vector<Item> items;
        const int dfd = ::dirfd(d);
        while (const dirent* e = ::readdir(d)) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            Kind kind = Kind::Other;
            unsigned char type = e->d_type;
            if (type == DT_DIR) {
                kind = Kind::Folder;
            } else if (type == DT_REG) {
                kind = Kind::File;
            } else {
                // Links and file systems that do not tell the type.
                struct stat st {};
                struct stat lst {};
                const bool isLink = ::fstatat(dfd, e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 &&
                                    S_ISLNK(lst.st_mode);
                if (::fstatat(dfd, e->d_name, &st, 0) == 0) {
                    if (S_ISDIR(st.st_mode))
                        kind = isLink ? Kind::LinkedFolder : Kind::Folder;
                    else if (S_ISREG(st.st_mode))
                        kind = Kind::File;
                }
            }
            std::string folded = platform::AsciiLower(name);
            items.push_back({std::string(name), std::move(folded), kind});
        }
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
        });
        return items;
    }

    bool Entries(const std::string& dir, bool ambiguous, bool foreign) {
        // Open while its entries are visited: their times are read relative to it, which
        // costs the kernel far less than a lookup of every full path.
        std::unique_ptr<DIR, CloseFd> d(::opendir(dir.c_str()));
        if (!d) return true;  // unreadable folders are skipped
        const std::vector<Item> items = List(d.get());
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (m_stop && m_stop()) return false;
            if (!Visit(dir, ::dirfd(d.get()), items, i, ambiguous, foreign)) return false;
        }
        return true;
    }

    // Item i of dir: a folder is walked, a file visited. false when stopped.
    bool Visit(const std::string& dir, int dfd, const std::vector<Item>& items, std::size_t i,
               bool ambiguous, bool foreign) {
        const Item& item = items[i];
        std::string path;
        path.reserve(dir.size() + 1 + item.name.size());
        path.append(dir).append(1, '/').append(item.name);
        const bool clash = ambiguous || (i > 0 && items[i - 1].folded == item.folded) ||
                           (i + 1 < items.size() && items[i + 1].folded == item.folded);
        switch (item.kind) {
            case Kind::Folder:
                return Folder(path, clash, foreign);
            case Kind::LinkedFolder: {
                bool outside = false;
                if (!FollowLink(path, outside)) return true;
                return Folder(path, clash, foreign || outside);
            }
            case Kind::File:
            case Kind::Other: {
                if (IsInstallLeftover(item.name)) {
                    if (m_leftovers && !foreign) m_leftovers->push_back(path);
                    return true;
                }
                WalkedFile file{std::move(path), item.kind == Kind::File, clash, foreign};
                struct stat st {};
                if (file.regular && ::fstatat(dfd, item.name.c_str(), &st, 0) == 0) {
                    file.hasTime = true;
                    file.writeTime = st.st_mtim;
                }
                m_visit(file);
                return true;
            }
        }
        return true;
    }

    // Links that stay inside the game folder are followed; a link out of it only to a folder
    // of the user's own (a shared add-on folder), never to the system's or another user's.
    bool FollowLink(const std::string& path, bool& outside) {
        const std::string real = RealPath(path);
        if (real.empty()) return false;
        outside = !IsBelow(real, m_gameReal);
        if (!outside) return true;
        struct stat st {};
        return ::stat(real.c_str(), &st) == 0 && st.st_uid == ::geteuid();
    }

    const std::string& m_gameReal;
    const std::function<bool()>& m_stop;
    const std::function<void(WalkedFile&)>& m_visit;
    std::vector<std::string>* m_leftovers;
    std::vector<std::pair<dev_t, ino_t>> m_ancestors;
};

bool Walker::FolderInTwo(const std::string& dir, const std::function<void()>& started) {
    // Told once, however the walk goes: no thread is still to be made.
    struct TellStarted {
        const std::function<void()>& call;
        bool told = false;
        void operator()() {
            if (!told && call) call();
            told = true;
        }
        ~TellStarted() { (*this)(); }
    } tellStarted{started};
    if (!Enter(dir)) return true;
    std::unique_ptr<DIR, CloseFd> d(::opendir(dir.c_str()));
    if (!d) return true;
    const int dfd = ::dirfd(d.get());
    const std::vector<Item> items = List(d.get());

    // What each entry found, kept until it is its turn to be visited.
    struct Piece {
        std::vector<WalkedFile> files;
        std::vector<std::string> leftovers;
        bool stopped = false;
    };
    std::vector<Piece> pieces(items.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        Piece* piece = nullptr;
        const std::function<void(WalkedFile&)> keep = [&](WalkedFile& f) {
            piece->files.push_back(std::move(f));
        };
        std::vector<std::string> leftovers;
        Walker helper(m_gameReal, m_stop, keep, m_leftovers ? &leftovers : nullptr);
        helper.m_ancestors = m_ancestors;
        for (std::size_t i; (i = next.fetch_add(1)) < items.size();) {
            piece = &pieces[i];
            piece->stopped =
                (m_stop && m_stop()) || !helper.Visit(dir, dfd, items, i, false, false);
            piece->leftovers = std::move(leftovers);
            leftovers.clear();
            if (piece->stopped) break;
        }
    };
    std::future<void> other;
    try {
        other = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
    }
    tellStarted();
    work();
    if (other.valid()) other.get();
    m_ancestors.pop_back();

    for (Piece& piece : pieces) {
        for (WalkedFile& file : piece.files) m_visit(file);
        if (m_leftovers)
            m_leftovers->insert(m_leftovers->end(), piece.leftovers.begin(), piece.leftovers.end());
        if (piece.stopped) return false;
    }
    return true;
}

}  // namespace

bool IsInstallLeftover(std::string_view name) {
    const std::size_t at = name.rfind(".vmnew.");
    if (at == std::string_view::npos || at == 0) return false;
    const std::string_view rest = name.substr(at + 7);
    auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    };
    // "PID.N" from a linked install, six letters and digits from a copied one.
    if (const std::size_t dot = rest.find('.'); dot != std::string_view::npos)
        return digits(rest.substr(0, dot)) && digits(rest.substr(dot + 1));
    return rest.size() == 6 && std::all_of(rest.begin(), rest.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0;
           });
}

std::string InterfaceFolder(const std::string& gameFolder) {
    std::string root = gameFolder;
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root + "/Interface";
}

bool WalkInterface(const std::string& gameFolder, const std::function<bool()>& stop,
                   const std::function<void(WalkedFile&)>& visit,
                   std::vector<std::string>* leftovers) {
    const std::string gameReal = RealPath(gameFolder);
    Walker walker(gameReal, stop, visit, leftovers);
    return walker.Folder(InterfaceFolder(gameFolder), false, false);
}

bool WalkInterfaceInTwo(const std::string& gameFolder, const std::function<bool()>& stop,
                        const std::function<void(WalkedFile&)>& visit,
                        std::vector<std::string>* leftovers, const std::function<void()>& started) {
    const std::string gameReal = RealPath(gameFolder);
    Walker walker(gameReal, stop, visit, leftovers);
    return walker.FolderInTwo(InterfaceFolder(gameFolder), started);
}

bool StaysInsideGameFolder(const std::string& path, const std::string& gameFolder) {
    const std::string gameReal = RealPath(WithoutSlash(gameFolder));
    if (gameReal.empty()) return false;
    // The deepest part of the path that exists decides; what is still to be created is
    // created inside it.
    std::string probe = WithoutSlash(path);
    std::string rest;
    for (;;) {
        const std::string real = RealPath(probe);
        if (!real.empty()) return IsBelow(real + rest, gameReal);
        const std::size_t slash = probe.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return false;
        rest = probe.substr(slash) + rest;
        probe.erase(slash);
    }
}

}  // namespace vm
