#include "net/GetAvatarThread.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "app/TemporaryFolder.h"
#include "app/messages.h"
#include "net/CPHPServer.h"
#include "platform/Clock.h"
#include "platform/FileUtil.h"

namespace vm {
namespace {

// "%04d%02d%02d%02d%02d%02d%u.jpg" of the local time and the uid.
std::string AvatarFileName(std::uint32_t uid) {
    const std::tm t = platform::LocalCalendarNow();
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d%u.jpg", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, uid);
    return name;
}

}  // namespace

std::filesystem::path GetAvatarThread::AvatarFolder() {
    return std::filesystem::path(TemporaryFolder()) / "vmtemp";
}

int GetAvatarThread::RunTask() {
    if (m_pMainWnd.expired()) return 0;
    // Held for the whole job: the client must outlive it even if the program releases it.
    const std::shared_ptr<CPHPServer> server = AcquireServer();
    const std::optional<std::uint32_t> uid = server->LoginUid();
    if (!uid) return 0;

    std::string path;
    try {
        const std::string picture = server->FetchAvatar(*uid, kPixelSize);
        const std::filesystem::path folder = AvatarFolder();
        ::mkdir(folder.c_str(), 0700);
        const std::filesystem::path file = folder / AvatarFileName(*uid);
        // No picture means no path: the window keeps its default face.
        if (!picture.empty() && platform::WriteFileAtomic(file, picture)) path = file.string();
    } catch (const std::exception&) {
        path.clear();
    }
    PostTo(m_pMainWnd, WM_VM_AVATAR_READY, *uid, 0, std::move(path));
    return 0;
}

}  // namespace vm
