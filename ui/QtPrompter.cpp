#include "ui/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace vm {

namespace {

int ShowBox(const std::string& text, const std::string& caption, unsigned style) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (style & 0xF0) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: break;
    }
    switch (style & 0x0F) {
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return IDOK;
    }
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
