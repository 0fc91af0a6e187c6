#include "tests/ui/UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QRadioButton>
#include <QTest>

namespace vm::test {

namespace {
int g_argc = 1;
char g_arg0[] = "test";
char* g_argv[] = {g_arg0, nullptr};
}  // namespace

void EnsureApp() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(g_argc, g_argv);  // lives for the whole test program
}

bool WaitFor(const std::function<bool()>& pred, int deadlineMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > deadlineMs) return pred();
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void Click(QWidget* w) {
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))
        QTest::mouseClick(w, Qt::LeftButton, {},
                          QPoint(std::min(8, w->width() - 1), w->height() / 2));
    else
        QTest::mouseClick(w, Qt::LeftButton);
}

ModalDriver::ModalDriver() {
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::Tick);
    m_timer.start();
}

QStringList ModalDriver::Texts() const {
    QStringList out;
    for (const Box& b : boxes) out << b.text;
    return out;
}

void ModalDriver::Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w->property("vmHandled").toBool()) return;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        box->setProperty("vmHandled", true);
        boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.pop_front();
        }
        QAbstractButton* button = answer != QMessageBox::NoButton ? box->button(answer) : nullptr;
        if (!button) button = box->button(QMessageBox::Ok);
        if (!button) button = box->button(QMessageBox::Yes);
        if (button) button->click();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
        dialog->setProperty("vmHandled", true);
        fileDialogs.push_back({dialog->nameFilters(), dialog->defaultSuffix(),
                               dialog->selectedFiles(),
                               dialog->acceptMode() == QFileDialog::AcceptSave});
        if (m_paths.empty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(m_paths.front());
        m_paths.pop_front();
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, checks included
    }
}

}  // namespace vm::test
