#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace vm::test {

// One QApplication for the whole test program (offscreen).
void EnsureApp();

// Runs the event loop until pred holds or the deadline passes; pred's last value.
bool WaitFor(const std::function<bool()>& pred, int deadlineMs = 10000);

// A left click through QTest where a user clicks: on the mark of a check box or radio
// button (their hit area is the mark and the text, not the whole row), else in the middle.
void Click(QWidget* w);

// Answers the message boxes and file dialogs that the windows under test open modally: each
// box is recorded and answered from a queue (OK or Yes when the queue is empty), each file
// dialog is recorded and given the next queued path (or cancelled when there is none).
class ModalDriver : public QObject {
  public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    struct FileDialog {
        QStringList nameFilters;
        QString defaultSuffix;
        QStringList proposed;  // the selected files when it opened
        bool save = false;
    };

    ModalDriver();

    void Answer(QMessageBox::StandardButton button) { m_answers.push_back(button); }
    void Choose(const QString& path) { m_paths.push_back(path); }

    std::vector<Box> boxes;
    std::vector<FileDialog> fileDialogs;

    QStringList Texts() const;

  private:
    void Tick();

    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::deque<QString> m_paths;
};

}  // namespace vm::test
