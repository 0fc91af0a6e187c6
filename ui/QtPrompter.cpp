#include "ui/QtPrompter.h"

#include <QApplication>
#include <QThread>

#include "skin/CMessageBoxWnd.h"

namespace vm {

namespace {

int ShowBox(const std::string& text, const std::string& caption, unsigned style) {
    // Over whichever window is in front, so that window waits for the answer.
    return CMessageBoxWnd::ShowMessageBox(QApplication::activeWindow(), text, caption, style);
}

}  // namespace

int QtPrompter::Prompt(const std::string& text, const std::string& caption, unsigned style) {
    auto* app = QCoreApplication::instance();
    if (!app) return IDOK;
    if (QThread::currentThread() == app->thread()) return ShowBox(text, caption, style);
    int result = IDOK;
    QMetaObject::invokeMethod(
        app, [&] { result = ShowBox(text, caption, style); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace vm
