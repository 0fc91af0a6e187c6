// Labels, buttons and the progress bar, driven through the window's messages.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "SkinTestSupport.h"
#include "res/MainWindowPolygons.h"
#include "skin/CDC.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUILabelLine.h"
#include "skin/CUIProgressBar.h"
#include "skin/MarkupLayout.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"

namespace vm::test {
namespace {

// A window whose root is laid out before the controls come, so they keep their rectangles.
struct ControlWindow : TestWindow {
    ControlWindow() {
        Open(300, 200);
        root->SetPos(0, 0, 300, 200);
    }
    template <typename T>
    T* Add(int id, RECT r) {
        auto* c = root->AddNew<T>();
        c->SetId(id);
        c->SetName(std::to_string(id));
        c->SetPos(r);
        return c;
    }
    int Count(UINotifyCode code, int id = -1) const {
        int n = 0;
        for (const UINotify& note : notes)
            n += note.code == code && (id < 0 || (note.sender && note.sender->GetId() == id));
        return n;
    }
    void Move(int x, int y) { SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Down(int x, int y) { SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void Up(int x, int y) { SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
};

TEST(Button, StatesFollowTheMouseAndClickOnlyOnReleaseInside) {
    ControlWindow win;
    auto* b = win.Add<CUIButton>(5, RECT{10, 10, 90, 40});
    win.Paint();
    win.Move(20, 20);
    EXPECT_TRUE(b->GetState() & UISTATE_HOT);
    win.Down(20, 20);
    EXPECT_TRUE(b->GetState() & UISTATE_PUSHED);
    win.Move(150, 150);  // still captured, outside: not pushed
    EXPECT_FALSE(b->GetState() & UISTATE_PUSHED);
    win.Up(150, 150);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 5), 0);
    EXPECT_FALSE(b->GetState() & UISTATE_CAPTURED);

    win.Move(20, 20);
    win.Down(20, 20);
    win.Up(21, 21);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 5), 1);
    win.Move(200, 150);
    EXPECT_FALSE(b->GetState() & UISTATE_HOT);

    b->SetFocus();  // the focused button also answers the keyboard
    win.SendMessage(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 5), 2);
}

TEST(Button, PolygonDecidesWhereItIsHit) {
    ControlWindow win;
    auto* b = win.Add<CUIButton>(12, RECT{100, 10, 200, 40});
    const POINT poly[] = {{130, 10}, {200, 10}, {170, 40}, {100, 40}};
    b->SetPolygon(poly, 4);
    win.Paint();
    win.Down(105, 12);  // in the rectangle, outside the slanted edge
    win.Up(105, 12);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 12), 0);
    win.Down(150, 25);
    win.Up(150, 25);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 12), 1);
}

TEST(Button, RadioGroupKeepsOneChecked) {
    ControlWindow win;
    CUIButton* radios[3];
    for (int i = 0; i < 3; ++i) {
        radios[i] = win.Add<CUIButton>(10 + i, RECT{10, 10 + 30 * i, 110, 35 + 30 * i});
        radios[i]->SetCheckMode(UICHECK_RADIO);
        radios[i]->SetGroupRange(10, 12);
    }
    auto* outsider = win.Add<CUIButton>(13, RECT{150, 10, 250, 35});
    outsider->SetCheckMode(UICHECK_CHECKBOX);
    outsider->SetCheck(true);
    radios[0]->SetCheck(true);
    radios[2]->SetCheck(true);  // unchecks 10
    EXPECT_FALSE(radios[0]->GetCheck());
    win.Paint();
    win.Down(50, 50);  // id 11
    win.Up(50, 50);
    EXPECT_FALSE(radios[0]->GetCheck());
    EXPECT_TRUE(radios[1]->GetCheck());
    EXPECT_FALSE(radios[2]->GetCheck());
    EXPECT_TRUE(outsider->GetCheck());
    win.Down(50, 50);  // pressing the checked one keeps it checked
    win.Up(50, 50);
    EXPECT_TRUE(radios[1]->GetCheck());
    EXPECT_EQ(win.Count(UINotifyCode::Click, 11), 2);
    EXPECT_EQ(static_cast<IUIChecked*>(radios[1]->GetInterface("UIChecked")),
              static_cast<IUIChecked*>(radios[1]));
}

TEST(Button, CheckBoxTogglesAndPushOnActivatesOnPress) {
    ControlWindow win;
    auto* box = win.Add<CUIButton>(7, RECT{10, 10, 110, 30});
    box->SetCheckMode(UICHECK_CHECKBOX);
    auto* pushOn = win.Add<CUIButton>(8, RECT{10, 50, 110, 70});
    pushOn->SetCheckMode(UICHECK_PUSHON);
    win.Paint();
    win.Down(20, 20);
    win.Up(20, 20);
    EXPECT_TRUE(box->GetCheck());
    win.Down(20, 20);
    win.Up(20, 20);
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(win.Count(UINotifyCode::Click, 7), 2);
    win.Down(20, 60);  // checks and clicks on the press, not again on the release
    EXPECT_EQ(win.Count(UINotifyCode::Click, 8), 1);
    win.Up(20, 60);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 8), 1);
    EXPECT_TRUE(pushOn->GetCheck());
    win.Down(20, 60);  // unchecking does not activate
    win.Up(20, 60);
    EXPECT_EQ(win.Count(UINotifyCode::Click, 8), 1);
    EXPECT_FALSE(pushOn->GetCheck());
}

TEST(Button, DisabledButtonIgnoresInputAndDrawsGrey) {
    ControlWindow win;
    win.root->SetBackColor(0xFFFFFF);
    auto* b = win.Add<CUIButton>(4, RECT{10, 10, 90, 40});
    b->SetCheckMode(UICHECK_CHECKBOX);
    b->SetEnabled(false);
    win.Paint();
    win.Move(20, 20);
    win.Down(20, 20);
    win.Up(20, 20);
    EXPECT_EQ(b->GetState() & (UISTATE_HOT | UISTATE_PUSHED), 0u);
    EXPECT_FALSE(b->GetCheck());
    EXPECT_EQ(win.Count(UINotifyCode::Click), 0);

    auto* face = win.Add<CUIButton>(6, RECT{100, 10, 180, 40});
    face->SetEnabled(false);
    const QImage image = win.Render();
    // Disabled gradient pair 7 starts at 0xF8F8F8 just inside the frame.
    EXPECT_EQ(PixelAt(image, 120, 11), 0xF8F8F8u);
    EXPECT_EQ(PixelAt(image, 120, 10), UITheme::Get().Color(14));
}

TEST(Button, SpriteFrameFollowsTheState) {
    ControlWindow win;
    QImage sprite(40, 10, QImage::Format_ARGB32_Premultiplied);
    const QColor colours[4] = {Qt::red, Qt::green, Qt::blue, Qt::gray};
    for (int f = 0; f < 4; ++f) {
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) sprite.setPixelColor(f * 10 + x, y, colours[f]);
    }
    auto* b = win.Add<CUIButton>(3, RECT{10, 10, 70, 40});
    b->SetImage(sprite);
    EXPECT_EQ(PixelAt(win.Render(), 40, 25), RGB(255, 0, 0));
    win.Move(40, 25);
    EXPECT_EQ(PixelAt(win.Render(), 40, 25), RGB(0, 255, 0));
    win.Down(40, 25);
    EXPECT_EQ(PixelAt(win.Render(), 40, 25), RGB(0, 0, 255));
    win.Up(40, 25);
    b->SetEnabled(false);
    EXPECT_EQ(PixelAt(win.Render(), 40, 25),
              PixelAt(sprite.convertToFormat(QImage::Format_RGB32), 35, 5));
}

TEST(Button, ShortcutAndSize) {
    ControlWindow win;
    auto* b = win.Add<CUIButton>(9, RECT{0, 0, 50, 20});
    b->SetText("打开(&O)");
    EXPECT_EQ(b->GetShortcut(), u'O');
    b->SetWidth(60);
    const SIZE s = b->EstimateSize(SIZE{});
    EXPECT_EQ(s.cx, 60 + 8);
    EXPECT_EQ(s.cy, UITheme::Get().FontInfo(1).tmHeight + 4);
    auto* label = win.Add<CUILabel>(10, RECT{0, 30, 50, 50});
    label->SetTextStyle(0);
    label->SetAttribute("align", "center");
    EXPECT_EQ(label->GetTextStyle(), DT_CENTER | DT_SINGLELINE | DT_VCENTER);
    label->SetText("用户名(&U)");
    EXPECT_EQ(label->GetShortcut(), u'U');
}

TEST(ProgressBar, ValueStaysInRangeAndTrackModeStartsEmpty) {
    ControlWindow win;
    win.root->SetBackColor(0xFFFFFF);
    auto* bar = win.Add<CUIProgressBar>(15, RECT{10, 10, 110, 30});
    bar->SetValue(150);
    EXPECT_EQ(bar->GetValue(), 100);
    bar->SetValue(-5);
    EXPECT_EQ(bar->GetValue(), 0);
    bar->SetRange(1, 10);
    EXPECT_EQ(bar->GetValue(), 1);

    // Left half the track (red), right half the fill (green).
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 20; ++x) image.setPixelColor(x, y, Qt::green);
    bar->SetImage(image);
    bar->SetRange(0, 100);
    bar->SetValue(0);
    QImage shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 12, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(shot, 105, 20), RGB(255, 0, 0));
    bar->SetValue(50);
    shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 20, 20), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(shot, 59, 20), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(shot, 61, 20), RGB(255, 0, 0));
}

TEST(ProgressBar, ImageModeUncoversTheImageWithASlant) {
    ControlWindow win;
    win.root->SetBackColor(0xFFFFFF);
    QImage state(300, 200, QImage::Format_ARGB32_Premultiplied);
    state.fill(Qt::white);
    win.manager.SetImage(0, state);
    QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::blue);
    auto* bar = win.Add<CUIProgressBar>(15, RECT{10, 10, 110, 30});
    bar->SetImage(image);
    bar->SetValue(50);
    QImage shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 10, 20), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(shot, 59, 20), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(shot, 61, 20), 0xFFFFFFu);
    bar->SetSlanted(true);
    bar->SetSlantOffset(8);
    shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 58, 11), RGB(0, 0, 255));  // top edge ends at 60
    EXPECT_EQ(PixelAt(shot, 62, 11), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(shot, 65, 28), RGB(0, 0, 255));  // bottom edge 8 further right
    EXPECT_EQ(PixelAt(shot, 12, 28), 0xFFFFFFu);       // and starting 8 in
}

TEST(Label, ShortLinkIsClickableAcrossTheWholeLabel) {
    ControlWindow win;
    auto* label = win.Add<CUILabel>(11, RECT{20, 20, 220, 40});
    label->SetText("<a>注</a>");
    win.Paint();
    ASSERT_EQ(label->GetLinkCount(), 1);
    EXPECT_EQ(label->GetLinkRect(0).left, 20);
    EXPECT_EQ(label->GetLinkRect(0).right, 220);
    EXPECT_TRUE(label->GetControlFlags() & UIFLAG_SETCURSOR);
    win.Down(200, 30);
    win.Up(200, 30);
    EXPECT_EQ(label->GetClickedLink(), 0);
    EXPECT_EQ(win.Count(UINotifyCode::Link, 11), 1);
}

TEST(Label, ReleaseOutsideLinksSendsNothing) {
    ControlWindow win;
    auto* label = win.Add<CUILabel>(5, RECT{20, 20, 280, 40});
    label->SetText("请先<a>注册账号</a>再登录");
    win.Paint();
    ASSERT_EQ(label->GetLinkCount(), 1);
    const RECT link = label->GetLinkRect(0);
    EXPECT_GT(link.left, 20);
    win.Down(link.left + 2, 30);
    win.Up(link.left + 2, 30);
    EXPECT_EQ(win.Count(UINotifyCode::Link, 5), 1);
    win.Down(22, 30);
    win.Up(22, 30);
    EXPECT_EQ(label->GetClickedLink(), -1);
    EXPECT_EQ(win.Count(UINotifyCode::Link, 5), 1);
    EXPECT_EQ(win.Count(UINotifyCode::Click), 0);
}

TEST(Label, ColoursFramesAndAnimation) {
    ControlWindow win;
    win.root->SetBackColor(0xFFFFFF);
    auto* label = win.Add<CUILabel>(6, RECT{10, 10, 70, 50});
    label->SetBackColor(RGB(0, 0, 128));
    label->SetOuterFrameColor(RGB(255, 0, 0));
    label->SetInnerFrameColor(RGB(0, 255, 0));
    QImage strip(20, 10, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::yellow);
    for (int y = 0; y < 10; ++y)
        for (int x = 10; x < 20; ++x) strip.setPixelColor(x, y, Qt::cyan);
    label->SetImage(strip);
    label->SetFrameCount(2);
    label->SetFrameInterval(10);
    QImage shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(shot, 11, 11), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(shot, 12, 12), RGB(0, 0, 128));
    // The 10 x 10 frame fits the 60 x 40 label at full height (40 x 40), centred.
    EXPECT_EQ(PixelAt(shot, 40, 30), RGB(255, 255, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return label->GetCurrentFrame() == 1; }, 5000));
    EXPECT_EQ(PixelAt(win.Render(), 40, 30), RGB(0, 255, 255));
    label->SetEnabled(false);
    label->SetTextColor(0x123456, kNoColor);  // keeps the disabled colour

    // The same on a label with text: a disabled label paints in its disabled colour (blue
    // here) also after a new text colour (red) that leaves the disabled one alone.
    auto* text = win.Add<CUILabel>(7, RECT{80, 10, 200, 50});
    text->SetText("国国国");
    text->SetTextColor(RGB(0, 0, 0), RGB(0, 0, 255));
    text->SetEnabled(false);
    text->SetTextColor(RGB(255, 0, 0), kNoColor);
    const QImage disabled = win.Render();
    int blue = 0;
    int red = 0;
    for (int y = 10; y < 50; ++y) {
        for (int x = 80; x < 200; ++x) {
            const QColor c = disabled.pixelColor(x, y);
            blue += c.blue() > c.red() + 60;
            red += c.red() > c.blue() + 60;
        }
    }
    EXPECT_GT(blue, 0);
    EXPECT_EQ(red, 0);
}

TEST(LabelLine, DrawsTwoRows) {
    ControlWindow win;
    win.root->SetBackColor(0xFFFFFF);
    auto* line = win.Add<CUILabelLine>(40, RECT{10, 10, 110, 30});
    line->SetUpperColor(RGB(10, 20, 30));
    line->SetLowerColor(RGB(200, 210, 220));
    const QImage shot = win.Render();
    EXPECT_EQ(PixelAt(shot, 50, 10), RGB(10, 20, 30));
    EXPECT_EQ(PixelAt(shot, 50, 11), RGB(200, 210, 220));
    EXPECT_EQ(PixelAt(shot, 50, 12), 0xFFFFFFu);
    EXPECT_EQ(line->EstimateSize(SIZE{}).cy, 2);
}

}  // namespace
}  // namespace vm::test

namespace vm::test {
namespace {

// The main window's progress fill against the update button that overlaps its right end: a
// full bar reaches the button's slanted edge and never runs under it.
TEST(MainWindowArt, AFullProgressBarEndsAtTheUpdateButtonsEdge) {
    TestApp();
    QImage bar;
    ASSERT_TRUE(LoadPngResource(bar, 250));
    const auto button = res::MainWindowPolygon(17);
    ASSERT_EQ(button.size(), 4u);
    const POINT top = button[0], bottom = button[3];  // the left edge, top to bottom
    const int barLeft = 20, barTop = 492;
    int rows = 0;
    for (int r = 0; r < bar.height(); ++r) {
        int right = -1;
        for (int x = 0; x < bar.width(); ++x)
            if (qAlpha(bar.pixel(x, r)) > 128) right = x;
        if (right < 0) continue;
        ++rows;
        const double y = barTop + r + 0.5;
        const double edge =
            top.x + double(bottom.x - top.x) * (y - top.y) / double(bottom.y - top.y);
        EXPECT_LE(barLeft + right + 1, edge) << "row " << r;      // clear of the button
        EXPECT_GE(barLeft + right + 1, edge - 3) << "row " << r;  // and up to it
    }
    EXPECT_GE(rows, 15);
}

// The twice-size drawing is read when first asked for, not with every picture: a plain screen
// never pays for it.
TEST(MainWindowArt, TheDoubleSizeIsReadWhenFirstAskedForAndOnlyWhenItFits) {
    TestApp();
    QTemporaryDir module;
    ASSERT_TRUE(module.isValid());
    ASSERT_TRUE(QDir(module.path()).mkpath("png"));
    const auto save = [&](const QString& name, int w, int h, QColor colour) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(colour);
        return image.save(module.path() + "/png/" + name, "PNG");
    };
    ASSERT_TRUE(save("901.png", 8, 6, Qt::red));
    ASSERT_TRUE(save("901@2x.png", 16, 12, Qt::green));
    ASSERT_TRUE(save("902.png", 8, 6, Qt::red));
    ASSERT_TRUE(save("902@2x.png", 10, 10, Qt::green));  // not twice the size
    const std::string where = module.path().toStdString();
    QImage face, odd;
    ASSERT_TRUE(LoadPngResource(face, 901, where));
    ASSERT_TRUE(LoadPngResource(odd, 902, where));
    // Redrawn after the picture was loaded: what is shown is what is on disk when asked.
    ASSERT_TRUE(save("901@2x.png", 16, 12, Qt::blue));
    const QImage& big = DoubleSizeOf(face);
    ASSERT_EQ(big.size(), QSize(16, 12));
    EXPECT_EQ(big.pixelColor(3, 3), QColor(Qt::blue));
    EXPECT_TRUE(DoubleSizeOf(odd).isNull());
    // Read once: a later change on disk is not read again.
    ASSERT_TRUE(save("901@2x.png", 16, 12, Qt::yellow));
    EXPECT_EQ(DoubleSizeOf(face).pixelColor(3, 3), QColor(Qt::blue));
}

// On a screen scaled by two the artwork comes from its twice-size drawing, pixel for pixel.
TEST(MainWindowArt, ArtworkIsDrawnFromItsDoubleSizeOnAScaledScreen) {
    TestApp();
    QImage face;
    ASSERT_TRUE(LoadPngResource(face, 236));
    const QImage big = DoubleSizeOf(face).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(big.size(), face.size() * 2);
    EXPECT_TRUE(DoubleSizeOf(face.copy()).size() == big.size());  // a copy keeps it
    EXPECT_TRUE(DoubleSizeOf(face.copy(0, 0, 4, 4)).isNull());    // a part does not
    QImage screen(big.size(), QImage::Format_ARGB32_Premultiplied);
    screen.setDevicePixelRatio(2);
    screen.fill(Qt::transparent);
    {
        QPainter p(&screen);
        CDC dc(p);
        dc.DrawImage(0, 0, face);
    }
    screen.setDevicePixelRatio(1);
    EXPECT_EQ(screen, big);
    // At one pixel a point the picture itself is drawn.
    QImage plain(face.size(), QImage::Format_ARGB32_Premultiplied);
    plain.fill(Qt::transparent);
    {
        QPainter p(&plain);
        CDC dc(p);
        dc.DrawImage(0, 0, face);
    }
    EXPECT_EQ(plain, face.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

}  // namespace
}  // namespace vm::test
