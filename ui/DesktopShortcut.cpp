#include "ui/DesktopShortcut.h"

#include <sys/stat.h>

#include <QImage>
#include <QProcess>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/FileUtil.h"
#include "res/ResourceIds.h"
#include "skin/ResourceLoader.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

fs::path Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? fs::path(home) : fs::path("/");
}

// An Exec argument: quoted, with the characters the format reserves escaped, then escaped
// once more as a desktop-file string.
std::string ExecArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    return out;
}

// A plain string value: backslashes and line breaks escaped.
std::string StringValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

}  // namespace

fs::path DesktopFolder() {
    QProcess p;
    p.start(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")});
    if (p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        std::error_code ec;
        // xdg-user-dir answers the home folder itself when no desktop is configured.
        if (!out.isEmpty() && fs::is_directory(out.toStdString(), ec) &&
            fs::path(out.toStdString()) != Home())
            return out.toStdString();
    }
    return Home() / "Desktop";
}

fs::path ApplicationsFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const fs::path base = data && *data == '/' ? fs::path(data) : Home() / ".local/share";
    return base / "applications";
}

std::string LauncherText(const fs::path& program, const fs::path& icon) {
    std::string t = "[Desktop Entry]\n";
    t += "Type=Application\n";
    t += "Version=1.0\n";
    t += "Name=TovrinVelmora\n";
    t += "Comment=Tovrin 插件更新\n";
    t += "Exec=" + ExecArgument(program.string()) + "\n";
    t += "Path=" + StringValue(program.parent_path().string()) + "\n";
    if (!icon.empty()) t += "Icon=" + StringValue(icon.string()) + "\n";
    t += "Terminal=false\n";
    t += "Categories=Game;\n";
    return t;
}

int WriteLauncher(const fs::path& folder, const fs::path& program, const fs::path& icon) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return ec.value();
    const fs::path file = folder / kLauncherName;
    errno = 0;
    if (!platform::WriteFileAtomic(file, LauncherText(program, icon))) return errno ? errno : EIO;
    if (::chmod(file.c_str(), 0755) != 0) return errno;
    return 0;
}

fs::path InstallProgramIcon(const fs::path& folder) {
    const fs::path icon = folder / "Velmora-TVRN.png";
    std::error_code ec;
    if (fs::exists(icon, ec)) return icon;
    QImage image;
    if (!LoadImageResource(image, ResourceType::Icon, res::IDI_PROGRAM)) return {};
    const fs::path part = folder / "Velmora-TVRN.png.part";
    if (!image.save(QString::fromStdString(part.string()), "PNG")) return {};
    fs::rename(part, icon, ec);
    if (ec) {
        fs::remove(part, ec);
        return {};
    }
    return icon;
}

}  // namespace vm
