// The isolated add-ons dialog: as opened, and after restoring one add-on that the next update
// run would isolate again (DeleteMode 1), as PNG files.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/CVelmoraApp.h"
#include "app/TemporaryFolder.h"
#include "platform/FileUtil.h"
#include "ui/CDlgObsoleted.h"

namespace vm {

namespace {

namespace fs = std::filesystem;

int Shoot(QWidget& w, const QString& out, const QString& name) {
    w.show();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QString path = QDir(out).filePath(name);
    if (w.grab().save(path, "PNG")) return 0;
    std::fprintf(stderr, "无法写入图片：%s\n", path.toLocal8Bit().constData());
    return 1;
}

bool Put(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return platform::WriteFileAtomic(path, bytes);
}

// The temporary folder moved into the gallery's own for the list of a pretend earlier run.
class TemporaryFolderAt {
  public:
    explicit TemporaryFolderAt(const fs::path& dir) {
        if (const char* old = std::getenv("TMPDIR")) m_old = old;
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TemporaryFolderAt() {
        if (m_old)
            ::setenv("TMPDIR", m_old->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

  private:
    std::optional<std::string> m_old;
};

}  // namespace

int GalleryObsoleted(const QString& out) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const fs::path root = tmp.path().toStdString();
    const fs::path game = root / "Tovrin";
    const fs::path obsoleted = game / "Interface.obsoleted";
    bool ok = Put(obsoleted / "CombatNumbers/CombatNumbers.lua", std::string(18000, 'x')) &&
              Put(obsoleted / "CombatNumbers/locale/zhCN.lua", std::string(2400, 'x')) &&
              Put(obsoleted / "OldBags/OldBags.lua", std::string(52000, 'x')) &&
              Put(obsoleted / "OldBags/OldBags.xml", std::string(9000, 'x')) &&
              Put(obsoleted / "OldBags/info.ini", "Title=OldBags\r\n") &&
              Put(obsoleted / "Bindings.xml", std::string(700, 'x')) &&
              Put(game / "Interface/MinimapClock/MinimapClock.lua", "x");
    fs::create_directories(root / "tmp");
    const TemporaryFolderAt temp(root / "tmp");
    ok = ok && Put(fs::path(TemporaryFolder()) / "tvrn/filelist.xml",
                   "<AddOns><AddOn folder=\"MinimapClock\">"
                   "<File path=\"MinimapClock.lua\" checksum=\"9dd4e461268c8034f5c8564e155c67a6\"/>"
                   "</AddOn></AddOns>");
    if (!ok) return 1;

    CVelmoraApp& app = theApp();
    fs::create_directories(root / "program");
    app.SetProgramDir(root / "program");
    app.WriteProfile(settings::kDeleteMode, 1);

    int failures = 0;
    CDlgObsoleted dialog(nullptr, game.string() + "/");
    failures += Shoot(dialog, out, "obsoleted.png");
    dialog.Check("OldBags");
    failures += Shoot(dialog, out, "obsoleted-checked.png");
    dialog.RestoreChecked();
    failures += Shoot(dialog, out, "obsoleted-restored.png");
    dialog.hide();
    return failures;
}

}  // namespace vm
