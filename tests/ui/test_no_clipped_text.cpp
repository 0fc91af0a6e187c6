// Every word visible: the gallery renders every window in each state (and the main ones again
// at twice the pixel density) and checks that no marked-up text is cut off; the settings
// dialog and the unknown add-on question are also checked here directly.

#include <gtest/gtest.h>

#include <QImage>
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

// The gallery itself, once for all checks below.
class Gallery : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new ScopedTempDir;
        QProcess gallery;
        gallery.setProcessChannelMode(QProcess::SeparateChannels);
        gallery.start(QString::fromStdString(Bin("skin-gallery").string()),
                      {QString::fromStdString(s_dir->Path().string())});
        s_ran = gallery.waitForFinished(600000) && gallery.exitStatus() == QProcess::NormalExit;
        s_exit = gallery.exitCode();
        s_errors = gallery.readAllStandardError().toStdString();
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static QImage Picture(const std::string& name) {
        return QImage(QString::fromStdString((s_dir->Path() / name).string()));
    }

    static ScopedTempDir* s_dir;
    static bool s_ran;
    static int s_exit;
    static std::string s_errors;
};
ScopedTempDir* Gallery::s_dir = nullptr;
bool Gallery::s_ran = false;
int Gallery::s_exit = -1;
std::string Gallery::s_errors;

TEST_F(Gallery, NoTextIsCutOffInAnyRender) {
    ASSERT_TRUE(s_ran);
    // Each cut-off text is one line naming the picture, the text and where it landed.
    std::istringstream lines(s_errors);
    for (std::string line; std::getline(lines, line);)
        EXPECT_FALSE(Contains(line, "文字被截断")) << line;
    EXPECT_EQ(s_exit, 0) << s_errors;
}

TEST_F(Gallery, MainWindowsAreRenderedAtTwiceThePixelsWithTheSameLayout) {
    ASSERT_TRUE(s_ran);
    for (const std::string name :
         {"dialog-settings-page0.png", "dialog-settings-page1.png", "dialog-settings-page2.png",
          "dialog-unknown-addons-collapsed.png", "dialog-unknown-addons-expanded.png",
          "main-window-updating.png", "dialog-logon-empty.png"}) {
        const QImage one = Picture(name);
        const QImage two = Picture("scale2-" + name);
        ASSERT_FALSE(one.isNull()) << name;
        ASSERT_FALSE(two.isNull()) << name;
        EXPECT_EQ(two.size(), one.size() * 2) << name;
    }
}

TEST_F(Gallery, ContactSheetHoldsEveryRender) {
    ASSERT_TRUE(s_ran);
    const QImage sheet = Picture("contact-sheet.png");
    ASSERT_FALSE(sheet.isNull());
    // At least as many pixels as the renders on it.
    qint64 covered = 0;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(s_dir->Path())) {
        if (entry.path().extension() != ".png" || entry.path().filename() == "contact-sheet.png")
            continue;
        const QImage image(QString::fromStdString(entry.path().string()));
        covered += qint64(image.width()) * image.height();
        ++count;
    }
    EXPECT_GT(count, 40);
    EXPECT_GE(qint64(sheet.width()) * sheet.height(), covered);
}

}  // namespace
}  // namespace vm::test
