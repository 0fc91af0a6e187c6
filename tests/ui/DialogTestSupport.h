#pragma once

// Shared pieces of the dialog tests: the application with the program's skin defaults, a
// fresh program folder (settings file) per test, and acting on a modal window once it is up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/CVelmoraApp.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"
#include "skin/NativeWindow.h"
#include "tests/support/ScopedTempDir.h"
#include "ui/QtStartupUi.h"

namespace vm::test {

inline QApplication& DialogApp() {
    static int argc = 1;
    static char name[] = "ui-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);  // lives until exit
        QtStartupUi ui;
        ui.InitSkinDefaults();
        return a;
    }();
    return *app;
}

// Every dialog test: its own settings file.
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DialogApp();
        theApp().SetProgramDir(dir.Path());
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ScopedTempDir dir;
};

// The visible top-level window whose handler is a T.
template <class T>
T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* n = NativeWindow::FromHwnd(w);
        if (n && !n->IsDestroyed() && n->isVisible())
            if (auto* t = dynamic_cast<T*>(n->Handler())) return t;
    }
    return nullptr;
}

// Runs `act` once a T is shown (while a modal loop runs); gives up after ten seconds.
template <class T>
void WhenShown(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        T* shown = Shown<T>();
        if (!shown && clock->elapsed() < 10000) return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (shown) act(shown);
    });
    timer->start();
}

// A left click in the middle of a skinned control.
inline void ClickControl(CSkinDialog* dialog, int id) {
    CUIControl* c = dialog->FindControl(id);
    ASSERT_NE(c, nullptr) << "control " << id;
    const RECT r = c->GetPos();
    const QPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    QTest::mouseMove(dialog->Window(), at);
    QTest::mouseClick(dialog->Window(), Qt::LeftButton, Qt::NoModifier, at);
}

// Answers the next skinned message box with its first button and records its text.
inline void AnswerNextMessageBox(std::string* text) {
    WhenShown<CMessageBoxWnd>([text](CMessageBoxWnd* box) {
        if (text) *text = box->Manager().FindControl(CMessageBoxWnd::kMessageId)->GetText();
        QTest::keyClick(box->GetHWND(), Qt::Key_Return);
    });
}

// Waits on a condition with a deadline.
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace vm::test
