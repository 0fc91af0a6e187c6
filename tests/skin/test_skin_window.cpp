// The window layer: Qt events as window messages, painting to an image, the drawing helpers,
// posting and sending from other threads, the modal loop and closing.

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "SkinTestSupport.h"
#include "skin/UIRender.h"
#include "skin/WindowTarget.h"

namespace vm::test {
namespace {

TEST(Window, RendersControlsWhereTheyWerePlaced) {
    TestWindow win;
    win.Open(200, 150);
    win.root->SetBackColor(0xFFFFFF);
    auto* anchor = win.root->AddNew<TestControl>();
    anchor->SetPos(0, 0, 1, 1);
    win.root->AddNew<TestControl>(0, "TestUI", RGB(255, 0, 0))->SetPos(10, 10, 60, 40);
    win.root->AddNew<TestControl>(0, "TestUI", RGB(0, 0, 255))->SetPos(100, 50, 180, 120);
    const QImage image = win.Render();
    EXPECT_EQ(PixelAt(image, 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(image, 59, 39), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(image, 60, 40), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 9, 10), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 100, 50), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(image, 179, 119), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(image, 190, 140), 0xFFFFFFu);
    // The back buffer holds the same picture.
    EXPECT_EQ(PixelAt(win.manager.GetBackBuffer(), 20, 20), RGB(255, 0, 0));
}

TEST(Window, OnTwoPixelsAPointTheLayoutStaysAndEveryPixelIsPainted) {
    TestWindow win;
    win.Open(200, 150);
    win.root->SetBackColor(0xFFFFFF);
    win.root->AddNew<TestControl>()->SetPos(0, 0, 1, 1);  // anchors the design at the corner
    win.root->AddNew<TestControl>(0, "TestUI", RGB(255, 0, 0))->SetPos(10, 10, 60, 40);
    QImage shot(400, 300, QImage::Format_ARGB32_Premultiplied);
    shot.setDevicePixelRatio(2);
    shot.fill(Qt::black);
    win.Window()->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    // The back buffer has the target's pixels; the control sits at the same points.
    QImage buffer = win.manager.GetBackBuffer();
    EXPECT_EQ(buffer.size(), QSize(400, 300));
    EXPECT_EQ(buffer.devicePixelRatio(), 2.0);
    buffer.setDevicePixelRatio(1);
    EXPECT_EQ(PixelAt(buffer, 20, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(buffer, 119, 79), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(buffer, 120, 80), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(buffer, 19, 20), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(buffer, 399, 299), 0xFFFFFFu);
}

TEST(Drawing, GradientAndNineGridLandWhereExpected) {
    TestApp();
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QImage source(30, 30, QImage::Format_ARGB32_Premultiplied);
    // Corners 10 x 10 in four colours, edges grey, centre green.
    source.fill(QColor(128, 128, 128));
    QPainter sp(&source);
    sp.fillRect(0, 0, 10, 10, QColor(255, 0, 0));
    sp.fillRect(20, 0, 10, 10, QColor(0, 0, 255));
    sp.fillRect(0, 20, 10, 10, QColor(255, 255, 0));
    sp.fillRect(20, 20, 10, 10, QColor(0, 255, 255));
    sp.fillRect(10, 10, 10, 10, QColor(0, 255, 0));
    sp.end();
    {
        QPainter painter(&image);
        CDC dc(painter);
        DrawGradient(dc, 10, 10, 30, 90, RGB(255, 0, 0), RGB(0, 0, 255), true, 64);
        DrawImage9Grid(dc, 100, 20, 180, 80, 0, 0, 30, 30, &source, false);
        DrawImage9Grid(dc, 40, 10, 50, 20, 0, 0, 30, 30, nullptr, false);  // nothing
    }
    EXPECT_EQ(PixelAt(image, 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(image, 29, 89), RGB(0, 0, 255));
    const COLORREF mid = PixelAt(image, 20, 50);
    EXPECT_GT(GetRValue(mid), 100);
    EXPECT_GT(GetBValue(mid), 100);
    EXPECT_EQ(PixelAt(image, 9, 10), 0u);
    EXPECT_EQ(PixelAt(image, 30, 50), 0u);

    EXPECT_EQ(PixelAt(image, 100, 20), RGB(255, 0, 0));  // corners keep 10 x 10
    EXPECT_EQ(PixelAt(image, 109, 29), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(image, 110, 20), RGB(128, 128, 128));
    EXPECT_EQ(PixelAt(image, 179, 20), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(image, 170, 29), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(image, 100, 79), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(image, 179, 79), RGB(0, 255, 255));
    EXPECT_EQ(PixelAt(image, 140, 50), RGB(0, 255, 0));  // centre stretched
    EXPECT_EQ(PixelAt(image, 169, 69), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(image, 99, 50), 0u);
    EXPECT_EQ(PixelAt(image, 45, 15), 0u);
}

TEST(Drawing, FrameAndStateFaceFallback) {
    TestApp();
    QImage image(60, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CDC dc(painter);
        DrawFrame(dc, 0, 0, 20, 20, 12, 14, 16, 0);
        DrawStateFace(dc, nullptr, 30, 0, 60, 30, 0, nullptr, 0);
    }
    EXPECT_EQ(PixelAt(image, 5, 0), UITheme::Get().Color(12));    // light top
    EXPECT_EQ(PixelAt(image, 19, 5), UITheme::Get().Color(14));   // dark right
    EXPECT_EQ(PixelAt(image, 0, 5), UITheme::Get().Color(14));    // dark left
    EXPECT_EQ(PixelAt(image, 10, 10), UITheme::Get().Color(16));  // fill
    EXPECT_EQ(PixelAt(image, 40, 1), 0xFCFAFAu);  // gradient pair 6 starts at the top
    EXPECT_EQ(PixelAt(image, 31, 10), UITheme::Get().Color(3));  // inner line
}

TEST(Theme, FrameSetterWithoutSecondColourMakesBothEqual) {
    TestApp();
    UITheme& theme = UITheme::Get();
    const QPen before = theme.Pen(38);
    theme.SetEditFrameColors(0x112233, kNoColor);
    EXPECT_EQ(theme.Color(37), 0x112233u);
    EXPECT_EQ(theme.Color(38), 0x112233u);
    EXPECT_EQ(theme.Pen(38).color(), QColor(0x33, 0x22, 0x11));
    EXPECT_NE(before.color(), theme.Pen(38).color());
    theme.SetEditFrameColors(0xB3ADAB, 0xEAE3E2);
    COLORREF a = 0, b = 0;
    EXPECT_TRUE(theme.ColorPair(45, a, b));
    EXPECT_EQ(b, 0x939696u);
    EXPECT_FALSE(theme.ColorPair(64, a, b));
    EXPECT_EQ(theme.Font(0), nullptr);
    EXPECT_EQ(theme.FontInfo(11).tmHeight, 0);
    EXPECT_GT(theme.FontInfo(6).tmHeight, theme.FontInfo(1).tmHeight);
    EXPECT_TRUE(theme.Font(2)->bold());
    EXPECT_TRUE(theme.Font(5)->underline());
}

TEST(Window, QtEventsArriveAsWindowMessages) {
    TestWindow win;
    win.Open(200, 100);
    win.ShowWindow();
    win.messages.clear();
    QTest::mouseMove(win.Window(), QPoint(30, 40));
    QTest::mousePress(win.Window(), Qt::LeftButton, {}, QPoint(30, 40));
    QTest::mouseRelease(win.Window(), Qt::LeftButton, {}, QPoint(31, 41));
    QTest::keyClick(win.Window(), Qt::Key_A);
    QTest::keyClick(win.Window(), Qt::Key_X, Qt::AltModifier);
    auto has = [&](UINT m) {
        return std::find(win.messages.begin(), win.messages.end(), m) != win.messages.end();
    };
    EXPECT_TRUE(has(WM_SETCURSOR));
    EXPECT_TRUE(has(WM_MOUSEMOVE));
    EXPECT_TRUE(has(WM_LBUTTONDOWN));
    EXPECT_TRUE(has(WM_LBUTTONUP));
    EXPECT_TRUE(has(WM_KEYDOWN));
    EXPECT_TRUE(has(WM_CHAR));
    EXPECT_TRUE(has(WM_KEYUP));
    EXPECT_TRUE(has(WM_SYSKEYDOWN));
    EXPECT_TRUE(has(WM_SYSCHAR));
    EXPECT_EQ(win.manager.GetMousePos(), (POINT{31, 41}));

    struct Recorder : TestWindow {
        std::vector<std::tuple<UINT, WPARAM, LPARAM>> log;
        LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
            log.emplace_back(m, w, l);
            return TestWindow::HandleMessage(m, w, l);
        }
    } rec;
    rec.Open(100, 100);
    rec.ShowWindow();
    QTest::keyClick(rec.Window(), Qt::Key_F);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(rec.Window(), &wheel);
    rec.Window()->resize(120, 90);
    QCoreApplication::processEvents();
    bool key = false, chr = false, wheelSeen = false, size = false;
    for (auto& [m, w, l] : rec.log) {
        key |= m == WM_KEYDOWN && w == 'F';
        chr |= m == WM_CHAR && w == 'f';
        wheelSeen |= m == WM_MOUSEWHEEL && GET_WHEEL_DELTA_WPARAM(w) == 120;
        size |= m == WM_SIZE && LOWORD(l) == 120 && HIWORD(l) == 90;
    }
    EXPECT_TRUE(key);
    EXPECT_TRUE(chr);
    EXPECT_TRUE(wheelSeen);
    EXPECT_TRUE(size);
}

TEST(Window, HoverAndLeaveFollowTracking) {
    TestWindow win;
    win.Open(100, 100);
    win.ShowWindow();
    auto* anchor = win.root->AddNew<TestControl>();
    anchor->SetPos(0, 0, 1, 1);
    auto* c = win.root->AddNew<TestControl>();
    c->SetPos(10, 10, 60, 60);
    c->SetToolTip("tip");
    win.Paint();
    win.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    win.SendMessage(WM_MOUSEHOVER, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(c->Count(UIEventType::MouseHover), 1);
    EXPECT_EQ(win.manager.GetToolTipText(), "tip");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(win.Window(), &leave);
    EXPECT_EQ(c->Count(UIEventType::MouseLeave), 1);
    EXPECT_EQ(win.manager.GetToolTipText(), "");
}

TEST(Window, PostAndSendFromAnotherThread) {
    struct Target : TestWindow {
        std::atomic<int> posted{0};
        std::string text;
        LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
            if (m == WM_USER + 1) {
                if (auto* p = Window()->CurrentPayload()) text = std::get<std::string>(*p);
                ++posted;
                return 0;
            }
            if (m == WM_USER + 2) return static_cast<LRESULT>(w * 2);
            return TestWindow::HandleMessage(m, w, l);
        }
    } win;
    win.Open(50, 50);
    WindowTarget target(win.Window()->Mailbox());
    std::atomic<LRESULT> sent{0};
    std::thread worker([&] {
        target.Post(WM_USER + 1, 0, 0, std::string("状态"));
        sent = target.Send(WM_USER + 2, 21, 0);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent.load() != 0; }, 5000));
    worker.join();
    EXPECT_EQ(sent.load(), 42);
    EXPECT_EQ(win.posted.load(), 1);
    EXPECT_EQ(win.text, "状态");
    EXPECT_EQ(win.SendMessage(WM_USER + 2, 5), 10);  // same thread: handled directly

    win.Window()->DestroyWindow();
    EXPECT_FALSE(target.Post(WM_USER + 1, 0, 0, {}));
    std::thread late([&] { sent = target.Send(WM_USER + 2, 1, 0); });
    late.join();
    EXPECT_EQ(sent.load(), 0);
    FlushDeletes();
}

TEST(Window, CloseDestroysTheWindowAndEndsWithTheFinalMessage) {
    struct Final : TestWindow {
        int finals = 0;
        void OnFinalMessage(HWND) override { ++finals; }
    } win;
    win.Open(50, 50);
    win.ShowWindow();
    win.Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return win.finals == 1; }, 5000));
    EXPECT_EQ(win.GetHWND(), nullptr);
    EXPECT_NE(std::find(win.messages.begin(), win.messages.end(), WM_DESTROY), win.messages.end());
    EXPECT_FALSE(win.PostMessage(WM_USER));
    FlushDeletes();
}

TEST(Window, ShowModalBlocksTheOwnerUntilTheBoxGoes) {
    TestWindow owner;
    owner.Open(200, 200);
    owner.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.Window()));
    struct Box : TestWindow {
        int result = 0;
    };
    auto box = std::make_unique<Box>();
    box->Open(80, 60, owner.GetHWND(), WS_POPUP | WS_VISIBLE);  // shown before the loop
    bool ownerDisabledMeanwhile = false;
    QTimer::singleShot(0, [&] {
        ownerDisabledMeanwhile = !owner.Window()->IsWindowEnabled();
        QTest::keyClick(box->Window(), Qt::Key_Escape);  // no "cancel": reaches the box
        box->Window()->EndModal(6);
    });
    const int result = box->ShowModal();
    EXPECT_EQ(result, 6);
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_TRUE(owner.Window()->IsWindowEnabled());
    std::vector<WPARAM> enables;
    for (std::size_t i = 0; i < owner.messages.size(); ++i) {
        if (owner.messages[i] == WM_ENABLE) enables.push_back(i);
    }
    EXPECT_EQ(enables.size(), 2u);  // off while the box ran, on again after
    box.reset();
    FlushDeletes();
}

TEST(Window, CaptionAnswerDragsTheWindow) {
    struct Captioned : TestWindow {
        LRESULT HandleMessage(UINT m, WPARAM w, LPARAM l) override {
            if (m == WM_NCHITTEST) {
                const QPoint p = Window()->mapFromGlobal(QPoint(GET_X_LPARAM(l), GET_Y_LPARAM(l)));
                return p.y() < 20 ? HTCAPTION : HTCLIENT;
            }
            return TestWindow::HandleMessage(m, w, l);
        }
    } win;
    win.Open(200, 100);
    win.MoveWindow(100, 100, 200, 100);
    win.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win.Window()));
    win.messages.clear();
    const QPoint start = win.Window()->pos();
    QTest::mousePress(win.Window(), Qt::LeftButton, {}, QPoint(50, 10));
    QTest::mouseMove(win.Window(), QPoint(80, 30));
    QTest::mouseRelease(win.Window(), Qt::LeftButton, {}, QPoint(80, 30));
    EXPECT_EQ(std::count(win.messages.begin(), win.messages.end(), WM_LBUTTONDOWN), 0);
    EXPECT_EQ(win.Window()->pos(), start + QPoint(30, 20));
    QTest::mousePress(win.Window(), Qt::LeftButton, {}, QPoint(50, 60));
    EXPECT_EQ(std::count(win.messages.begin(), win.messages.end(), WM_LBUTTONDOWN), 1);
}

TEST(Window, WindowTimersArriveAsTimerMessages) {
    TestWindow win;
    win.Open(50, 50);
    ASSERT_TRUE(win.Window()->SetTimer(60000, 1));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::count(win.messages.begin(), win.messages.end(), WM_TIMER) > 0; }, 5000));
    EXPECT_TRUE(win.Window()->KillTimer(60000));
    EXPECT_FALSE(win.Window()->KillTimer(60000));
}

}  // namespace
}  // namespace vm::test
