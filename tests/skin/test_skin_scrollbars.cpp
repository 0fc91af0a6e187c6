// The skinned scroll bars of Qt widgets and the read-only text viewer built on them.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

#include "SkinTestSupport.h"
#include "skin/CSkinEdit.h"
#include "skin/SkinScrollBars.h"

namespace vm::test {
namespace {

// A grid whose every cell is one flat colour: column c, row r.
QImage FlatGrid() {
    QImage grid(4 * 15, 6 * 16, QImage::Format_ARGB32);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 15; ++x)
                    grid.setPixelColor(c * 15 + x, r * 16 + y, QColor(40 * r + 10, 60 * c, 200));
    return grid;
}

TEST(SkinEdit, BarsAreDrawnFromTheGridImage) {
    TestApp();
    CSkinEdit edit;
    edit.resize(240, 120);
    edit.SetScrollBarImage(FlatGrid());
    std::string text;
    for (int i = 0; i < 60; ++i) text += "更新日志第" + std::to_string(i) + "行\n";
    edit.SetText(text);
    edit.show();
    QWidget* bar = SkinScrollBarWidget(&edit, SB_VERT);
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible() && bar->height() > 60; }, 5000));
    EXPECT_EQ(bar->width(), 15);
    QImage shot(bar->size(), QImage::Format_ARGB32);
    bar->render(&shot);
    auto rgb = [](int r, int c) { return RGB(40 * r + 10, 60 * c, 200); };
    EXPECT_EQ(PixelAt(shot, 7, 8), rgb(0, 0));                   // up arrow
    EXPECT_EQ(PixelAt(shot, 7, bar->height() - 8), rgb(1, 0));   // down arrow
    EXPECT_EQ(PixelAt(shot, 7, bar->height() - 20), rgb(2, 0));  // track below the thumb
    EXPECT_EQ(PixelAt(shot, 1, 16 + 3), rgb(3, 0));              // thumb at the top
    SCROLLINFO si;
    ASSERT_TRUE(GetScrollInfo(&edit, SB_VERT, si));
    EXPECT_GT(si.nMax, static_cast<int>(si.nPage));
}

TEST(SkinEdit, SwallowsEditingAndKeepsCopyAndSelectAll) {
    TestApp();
    CSkinEdit edit;
    edit.SetText("版本1.019：修正了下载。");
    QGuiApplication::clipboard()->setText("粘贴的文字");
    edit.paste();
    EXPECT_FALSE(edit.Command(WM_PASTE));
    EXPECT_FALSE(edit.Command(WM_CUT));
    EXPECT_FALSE(edit.Command(199));
    QTest::keyClicks(&edit, "xyz");
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("版本1.019：修正了下载。"));

    std::unique_ptr<QMenu> menu(edit.CreateContextMenu());
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("拷贝(&C)"));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());  // nothing selected
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_TRUE(menu->actions()[2]->isEnabled());

    QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit.textCursor().selectedText(), QStringLiteral("版本1.019：修正了下载。"));
    menu.reset(edit.CreateContextMenu());
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    EXPECT_FALSE(menu->actions()[2]->isEnabled());  // all selected already
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("版本1.019：修正了下载。"));
}

TEST(SkinScrollBars, AttachOnceAndAnswerFromOwnState) {
    TestApp();
    QWidget plain;
    plain.resize(100, 100);
    EXPECT_TRUE(AttachSkinScrollBars(&plain, nullptr));
    EXPECT_FALSE(AttachSkinScrollBars(&plain, nullptr));
    EXPECT_FALSE(SetScrollBarSize(&plain, SB_VERT, 0, 15));
    EXPECT_FALSE(SetScrollBarSize(&plain, SB_VERT, 300, 15));
    SCROLLINFO si;
    si.nMin = 0;
    si.nMax = 99;
    si.nPage = 10;
    si.nPos = 95;
    SetScrollInfo(&plain, SB_VERT, si);
    EXPECT_EQ(GetScrollPos(&plain, SB_VERT), 90);  // clamped to max - page + 1
    int lo = -1, hi = -1;
    ASSERT_TRUE(GetScrollRange(&plain, SB_VERT, lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 99);
    EXPECT_EQ(SkinScrollBarExtent(&plain, SB_VERT), 0);
    ShowScrollBar(&plain, SB_VERT, true);
    EXPECT_EQ(SkinScrollBarExtent(&plain, SB_VERT), 15);
    QWidget other;
    EXPECT_EQ(GetScrollPos(&other, SB_VERT), 0);  // not attached, not a scroll area
    EXPECT_FALSE(HasSkinScrollBars(&other));
}

}  // namespace
}  // namespace vm::test
