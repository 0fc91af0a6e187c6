// The skinned dialog: outline, veil, factories, state images, the default images and the
// program's own pictures.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "SkinTestSupport.h"
#include "imaging/Image.h"
#include "res/MainWindowPolygons.h"
#include "res/ResourceIds.h"
#include "skin/CSkinDialog.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUIWndLayer.h"
#include "skin/DecodedImage.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"

namespace vm::test {
namespace {

struct Dialog : CSkinDialog {
    Dialog() { TestApp(); }
    std::vector<UINotify> notes;
    void Notify(UINotify& n) override { notes.push_back(n); }
    QImage Render() {
        QImage image(Window()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        Window()->render(&image);
        return image;
    }
};

QImage Solid(int w, int h, QColor c) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(c);
    return image;
}

TEST(SkinDialog, RoundCornerCutsAnOctagonAndMasksTheWindow) {
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "测试", 300, 200));
    dlg.SetWindowRegion({{0, 0}}, {{0, 0}}, {{0, 0}}, {{0, 0}});  // 4 points: ignored
    EXPECT_TRUE(dlg.GetWindowRegion().isEmpty());
    EXPECT_EQ(dlg.GetLayer(), nullptr);
    dlg.SetRoundCorner(5);
    const QPolygon& p = dlg.GetWindowRegion();
    ASSERT_EQ(p.size(), 8);
    EXPECT_EQ(p[0], QPoint(0, 5));
    EXPECT_EQ(p[1], QPoint(5, 0));
    EXPECT_EQ(p[2], QPoint(295, 0));
    EXPECT_EQ(p[3], QPoint(300, 5));
    EXPECT_EQ(p[4], QPoint(300, 194));
    EXPECT_EQ(p[5], QPoint(294, 200));
    EXPECT_EQ(p[6], QPoint(6, 200));
    EXPECT_EQ(p[7], QPoint(0, 194));
    const QRegion mask = dlg.Window()->mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(299, 199)));
    EXPECT_TRUE(mask.contains(QPoint(150, 100)));
    EXPECT_TRUE(mask.contains(QPoint(6, 1)));
    ASSERT_NE(dlg.GetLayer(), nullptr);
    EXPECT_EQ(dlg.GetLayer()->GetAlpha(), 80);
    EXPECT_FALSE(dlg.GetLayer()->Window()->isVisible());
}

TEST(SkinDialog, FrameSetterWithNoSecondColourMakesBothEqual) {
    Dialog dlg;
    dlg.SetFocusedEditFrameColors(RGB(8, 66, 128), kNoColor);
    COLORREF a = 0, b = 0;
    ASSERT_TRUE(UITheme::Get().ColorPair(39, a, b));
    EXPECT_EQ(UITheme::Get().Color(39), RGB(8, 66, 128));
    EXPECT_EQ(UITheme::Get().Color(40), RGB(8, 66, 128));
    dlg.SetReadOnlyEditFrameColors(0x111111, 0x222222);
    EXPECT_EQ(UITheme::Get().Color(41), 0x111111u);
    EXPECT_EQ(UITheme::Get().Color(42), 0x222222u);
    dlg.SetFocusedEditFrameColors(0xAD7B3D, 0xEDD9B7);
    dlg.SetReadOnlyEditFrameColors(0xCCCCCC, 0xCCCCCC);
}

TEST(SkinDialog, WithoutStateImagesUsesDefaultBackgroundAndGradientFaces) {
    UITheme::Get().SetImage(DefaultImage::DialogBackground, Solid(30, 30, QColor(10, 200, 10)));
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "t", 300, 200));
    CUIButton* b = dlg.CreateButton(1, 20, 20, 100, 50);
    ASSERT_NE(b, nullptr);
    const QImage shot = dlg.Render();
    EXPECT_EQ(PixelAt(shot, 150, 150), RGB(10, 200, 10));
    EXPECT_EQ(PixelAt(shot, 50, 21), 0xFCFAFAu);  // gradient pair 6 just inside the frame
    EXPECT_EQ(PixelAt(shot, 50, 20), UITheme::Get().Color(12));
    EXPECT_EQ(b->GetPos(), (RECT{20, 20, 100, 50}));  // the designed place survives layout
    UITheme::Get().SetImage(DefaultImage::DialogBackground, QImage());
}

TEST(SkinDialog, FactoriesNameByIdAndFillContainingLayouts) {
    Dialog early;
    EXPECT_EQ(early.FindControl(1), nullptr);  // no window yet
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "t", 300, 200));
    CDialogLayoutUI* panel = dlg.AddLayout(150, 100, 290, 190);
    CUILabel* inside = dlg.CreateLabel(5, 160, 110, 200, 130, "在内");
    CUILabel* across = dlg.CreateLabel(6, 100, 100, 200, 130, "跨越");
    dlg.CreateProgressBar(15, 10, 10, 100, 20);
    dlg.CreateLabelLine(40, 10, 30, 100, 32);
    EXPECT_EQ(inside->GetParent(), panel);
    EXPECT_EQ(across->GetParent(), dlg.Root());
    EXPECT_EQ(inside->GetName(), "5");
    EXPECT_EQ(inside->GetText(), "在内");
    EXPECT_EQ(dlg.FindControl(5), inside);
    EXPECT_STREQ(dlg.FindControl(15)->GetClass(), "ProgressBarUI");
    EXPECT_STREQ(dlg.FindControl(40)->GetClass(), "LabelLinelUI");
    EXPECT_STREQ(inside->GetClass(), "LabelPanelUI");
    dlg.Render();
    EXPECT_EQ(inside->GetPos(), (RECT{160, 110, 200, 130}));
}

TEST(SkinDialog, StateImagesFromAModuleGiveButtonFaces) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkdir("png");
    const QColor colours[4] = {QColor(0, 0, 200), QColor(200, 0, 0), QColor(0, 200, 0),
                               QColor(90, 90, 90)};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(
            Solid(300, 200, colours[i]).save(dir.filePath(QString("png/%1.png").arg(901 + i))));
    const std::string module = dir.path().toStdString();
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "t", 300, 200));
    EXPECT_FALSE(dlg.SetSkinImages(901, 902, 903, 999, module));  // one missing
    EXPECT_TRUE(dlg.SetSkinImages(901, 902, 903, 904, module));
    CUIButton* b = dlg.CreateButton(2, 20, 20, 100, 50);
    CUIButton* off = dlg.CreateButton(3, 120, 20, 200, 50);
    off->SetEnabled(false);
    QImage shot = dlg.Render();
    EXPECT_EQ(PixelAt(shot, 250, 150), RGB(0, 0, 200));
    EXPECT_EQ(PixelAt(shot, 50, 30), RGB(0, 0, 200));
    EXPECT_EQ(PixelAt(shot, 150, 30), RGB(90, 90, 90));
    dlg.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 30));
    EXPECT_TRUE(b->GetState() & UISTATE_HOT);
    EXPECT_EQ(PixelAt(dlg.Render(), 50, 30), RGB(200, 0, 0));
    dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 30));
    EXPECT_EQ(PixelAt(dlg.Render(), 50, 30), RGB(0, 200, 0));
    dlg.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(50, 30));
    const auto clicks = std::count_if(dlg.notes.begin(), dlg.notes.end(), [&](const UINotify& n) {
        return n.code == UINotifyCode::Click && n.sender == b;
    });
    EXPECT_EQ(clicks, 1);
}

TEST(SkinDialog, VeilShowsWhileDisabledBehindAnotherWindow) {
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "t", 300, 200));
    dlg.SetRoundCorner(6);
    dlg.ShowWindow();
    EXPECT_FALSE(dlg.GetLayer()->Window()->isVisible());  // enabled: no veil
    QWidget other;
    other.resize(50, 50);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    dlg.Window()->setEnabled(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.GetLayer()->Window()->isVisible(); }, 5000));
    EXPECT_EQ(dlg.GetLayer()->Window()->geometry(), QRect(0, 0, 300, 200));
    dlg.Window()->setEnabled(true);
    EXPECT_FALSE(dlg.GetLayer()->Window()->isVisible());
    EXPECT_FALSE(dlg.IsLayerPending());
}

TEST(SkinDialog, ModalLoopReturnsTheEndDialogValueAndCloseCancels) {
    Dialog dlg;
    ASSERT_TRUE(dlg.Create(nullptr, "t", 100, 80));
    QTimer::singleShot(0, [&] { dlg.EndDialog(1); });
    EXPECT_EQ(dlg.DoModal(), 1);
    FlushDeletes();
    Dialog second;
    ASSERT_TRUE(second.Create(nullptr, "t", 100, 80));
    QTimer::singleShot(0, [&] { second.Window()->close(); });
    EXPECT_EQ(second.DoModal(), 2);
    FlushDeletes();
}

TEST(Pictures, DecodedFramesBecomeQImages) {
    TestApp();
    Image image;
    image.width = 2;
    image.height = 1;
    image.frames.push_back({{0x80FF0000u, 0xFF00FF00u}, 0});
    const QImage q = ToQImage(image);
    ASSERT_FALSE(q.isNull());
    EXPECT_EQ(q.format(), QImage::Format_ARGB32);
    EXPECT_EQ(q.pixel(0, 0), 0x80FF0000u);
    EXPECT_EQ(q.pixel(1, 0), 0xFF00FF00u);
    EXPECT_TRUE(ToQImage(image, 1).isNull());
    image.frames[0].pixels.pop_back();  // size mismatch
    EXPECT_TRUE(ToQImage(image).isNull());

    QTemporaryDir dir;
    const QString bmp = dir.filePath("a.bmp");
    ASSERT_TRUE(
        Solid(4, 3, QColor(12, 34, 56)).convertToFormat(QImage::Format_RGB888).save(bmp, "BMP"));
    const QImage loaded = LoadPictureFile(bmp.toStdString());
    ASSERT_EQ(loaded.size(), QSize(4, 3));
    EXPECT_EQ(PixelAt(loaded, 3, 2), RGB(12, 34, 56));
    EXPECT_TRUE(LoadPictureFile(dir.filePath("missing.png").toStdString()).isNull());
    QImage untouched = Solid(1, 1, Qt::red);
    EXPECT_FALSE(LoadPngResource(untouched, 9999));
    EXPECT_EQ(untouched.size(), QSize(1, 1));
}

TEST(Pictures, ProgramArtHasTheSizesTheWindowsNeed) {
    TestApp();
    QImage image;
    for (int n :
         {res::IDP_MAIN_NORMAL, res::IDP_MAIN_HOT, res::IDP_MAIN_PUSHED, res::IDP_DISABLED}) {
        ASSERT_TRUE(LoadPngResource(image, n)) << n;
        EXPECT_EQ(image.size(), QSize(802, 603)) << n;
    }
    for (int n : {res::IDP_LOGON_NORMAL, res::IDP_LOGON_HOT, res::IDP_LOGON_PUSHED}) {
        ASSERT_TRUE(LoadPngResource(image, n)) << n;
        EXPECT_EQ(image.size(), QSize(522, 313)) << n;
    }
    ASSERT_TRUE(LoadPngResource(image, res::IDP_MSGBOX_CLOSE));
    EXPECT_EQ(image.width() % 4, 0);
    for (int n : {res::IDP_CHECKBOX, res::IDP_RADIO}) {
        ASSERT_TRUE(LoadPngResource(image, n));
        EXPECT_EQ(image.width() % 4, 0);
        EXPECT_EQ(image.height() % 2, 0);
    }
    for (int n : {res::IDP_BUTTON_FACE, res::IDP_PROGRESS, res::IDP_DIALOG_BACKGROUND})
        EXPECT_TRUE(LoadPngResource(image, n)) << n;
    // Button sprites are four frames of the control's size.
    const struct {
        int number;
        int w, h;
    } sprites[] = {{res::IDB_LOGIN, 40, 24},         {res::IDB_REGISTER, 42, 24},
                   {res::IDB_LOGOUT, 22, 22},        {res::IDB_COPY, 19, 17},
                   {res::IDB_UPDATE_START, 129, 41}, {res::IDB_UPDATE_STOP, 129, 41}};
    for (const auto& s : sprites) {
        ASSERT_TRUE(LoadImageResource(image, ResourceType::Bitmap, s.number)) << s.number;
        EXPECT_EQ(image.size(), QSize(4 * s.w, s.h)) << s.number;
    }
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(LoadImageResource(image, ResourceType::SystemIcon, i));
    EXPECT_TRUE(LoadImageResource(image, ResourceType::Icon, res::IDI_PROGRAM));
    ASSERT_TRUE(LoadImageResource(image, ResourceType::Icon, res::IDI_PROGRAM_SMALL));
    EXPECT_EQ(image.size(), QSize(16, 16));
}

TEST(Pictures, SlantedButtonOutlinesStayInsideTheirRectangles) {
    const struct {
        int id;
        RECT rect;
    } buttons[] = {{12, {183, 56, 260, 80}},   {13, {183, 85, 260, 109}},
                   {17, {220, 479, 349, 520}}, {18, {266, 527, 366, 550}},
                   {19, {449, 472, 644, 518}}, {22, {432, 527, 532, 550}}};
    for (const auto& b : buttons) {
        const auto poly = res::MainWindowPolygon(b.id);
        ASSERT_GE(poly.size(), 3u) << b.id;
        EXPECT_LE(poly.size(), 10u);
        for (const POINT& p : poly) {
            EXPECT_TRUE(p.x >= b.rect.left && p.x <= b.rect.right) << b.id;
            EXPECT_TRUE(p.y >= b.rect.top && p.y <= b.rect.bottom) << b.id;
        }
    }
    // 13 is 12 moved down 29 pixels.
    const auto up = res::MainWindowPolygon(12);
    const auto down = res::MainWindowPolygon(13);
    for (std::size_t i = 0; i < up.size(); ++i) EXPECT_EQ(down[i].y, up[i].y + 29);
    EXPECT_TRUE(res::MainWindowPolygon(2).empty());
}

}  // namespace
}  // namespace vm::test
