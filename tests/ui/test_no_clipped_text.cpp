// Every word visible: the gallery renders every window in each state (and the main ones again
// at twice the pixel density) and checks that no marked-up text is cut off; the settings
// dialog and the unknown add-on question are also checked here directly.

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegion>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DialogTestSupport.h"
#include "skin/CUIPageSheet.h"
#include "skin/MarkupText.h"
#include "tests/support/CommandLine.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/CSettingDialog.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

// The texts of one whole-window render that do not show in full.
std::vector<std::string> CutTexts(QWidget* w) {
    std::vector<std::string> cut;
    SetMarkupTextObserver([&](const MarkupTextRecord& r) {
        if (!MarkupTextFits(r)) cut.push_back(r.text);
    });
    QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
    w->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    SetMarkupTextObserver({});
    return cut;
}

class TextInWindows : public DialogTest {};

TEST_F(TextInWindows, SettingsPagesShowEveryWord) {
    CSettingDialog d;
    ASSERT_TRUE(d.Open(nullptr));
    d.ShowWindow(true, false);
    for (int page = 0; page < 3; ++page) {
        d.Sheet()->SelectItem(page);
        QCoreApplication::processEvents();
        EXPECT_EQ(CutTexts(d.Window()), std::vector<std::string>{}) << "page " << page;
    }
    // The third page's first group starts where the page does, caption included.
    const CUIControl* group = d.FindControl(1020);
    ASSERT_NE(group, nullptr);
    EXPECT_GE(group->GetPos().top, d.Sheet()->GetPageRect().top);
}

TEST_F(TextInWindows, UnknownAddOnQuestionShowsEveryWord) {
    const fs::path game = dir / "game";
    fs::create_directories(game / "Interface/Foo");
    std::ofstream(game / "Interface/Foo/Foo.lua") << "x";
    theApp().Game().folder.Set(game.string() + "/");
    CDlgDeleteConfirm d({(game / "Interface/Foo/Foo.lua").string()}, {});
    ASSERT_TRUE(d.Open(nullptr));
    d.ShowWindow(true, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(CutTexts(d.Window()), std::vector<std::string>{});
}

// The check itself: a piece outside what shows, or text left over, is a cut; a control that
// ends its text with dots is not.
TEST_F(TextInWindows, FitsReportsAPieceOutsideAndTextLeftOver) {
    MarkupTextRecord r;
    r.visible = QRegion(0, 0, 100, 20);
    r.pieces.push_back({QRect(2, 3, 90, 12), "fits"});
    EXPECT_TRUE(MarkupTextFits(r));
    r.pieces.push_back({QRect(60, 3, 50, 12), "past the edge"});
    EXPECT_FALSE(MarkupTextFits(r));
    r.style = DT_END_ELLIPSIS;  // such a control says it ends with dots
    EXPECT_TRUE(MarkupTextFits(r));
    r.style = DT_SINGLELINE;
    r.pieces.pop_back();
    r.leftOver = true;
    EXPECT_FALSE(MarkupTextFits(r));
}

// The gallery itself: one run (it takes a while), every check on its pictures.
TEST(Gallery, EveryRenderShowsAllItsTextTheMainWindowsRenderAtScaleTwoAndOneSheetHoldsAll) {
    ScopedTempDir dir;
    QProcess gallery;
    gallery.start(QString::fromStdString(Bin("skin-gallery").string()),
                  {QString::fromStdString(dir.Path().string())});
    ASSERT_TRUE(gallery.waitForFinished(600000));
    ASSERT_EQ(gallery.exitStatus(), QProcess::NormalExit);
    const std::string errors = gallery.readAllStandardError().toStdString();
    // Each cut-off text is one line naming the picture, the text and where it landed.
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);)
        EXPECT_FALSE(Contains(line, "文字被截断")) << line;
    EXPECT_EQ(gallery.exitCode(), 0) << errors;

    const auto picture = [&](const std::string& name) {
        return QImage(QString::fromStdString((dir.Path() / name).string()));
    };
    // The same layout at twice the pixels.
    for (const std::string name :
         {"dialog-settings-page0.png", "dialog-settings-page1.png", "dialog-settings-page2.png",
          "dialog-unknown-addons-collapsed.png", "dialog-unknown-addons-expanded.png",
          "main-window-updating.png", "dialog-logon-empty.png"}) {
        const QImage one = picture(name);
        const QImage two = picture("scale2-" + name);
        ASSERT_FALSE(one.isNull()) << name;
        ASSERT_FALSE(two.isNull()) << name;
        EXPECT_EQ(two.size(), one.size() * 2) << name;
    }

    // One sheet with a tile for every render.
    QImageReader::setAllocationLimit(1024);
    const QImage sheet = picture("contact-sheet.png");
    ASSERT_FALSE(sheet.isNull());
    qint64 covered = 0;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        if (entry.path().extension() != ".png" || entry.path().filename() == "contact-sheet.png")
            continue;
        const QImage image(QString::fromStdString(entry.path().string()));
        const qreal scale = entry.path().filename().string().starts_with("scale2-") ? 0.5 : 1.0;
        covered += qint64(image.width() * scale) * qint64(image.height() * scale);
        ++count;
    }
    EXPECT_GT(count, 40);
    EXPECT_GE(qint64(sheet.width()) * sheet.height(), covered);
}

}  // namespace
}  // namespace vm::test
