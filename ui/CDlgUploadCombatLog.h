#pragma once

#include <QDialog>
#include <memory>

#include "app/MessageTarget.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace vm {

class QtMessageTarget;

// "日志上传": lists the recorded combat-log pieces (the application's CombatLog().pieces) with
// check marks, starts CUploadLogThread for the marked ones and follows its progress messages
// (WM_VM_LOG_*). The main window opens it modally on WM_USER+170 when at least one piece is
// recorded: `CDlgUploadCombatLog dlg(this); dlg.exec();`. Closing it while an upload runs
// stops the worker. UI thread only.
class CDlgUploadCombatLog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kListId = 1040;
    static constexpr int kStatusId = 1110;
    static constexpr int kProgressId = 1150;
    static constexpr int kInvertId = 3;
    static constexpr int kStartId = 1;
    static constexpr int kCloseId = 2;

    explicit CDlgUploadCombatLog(QWidget* parent = nullptr);
    ~CDlgUploadCombatLog() override;

    // Where the worker reports; the dialog's own.
    TargetRef Target() const;

  public slots:
    void done(int result) override;

  private:
    std::intptr_t OnMessage(const Message& m);
    void OnInvert();
    void OnStart();
    bool Running() const;

    std::shared_ptr<QtMessageTarget> m_target;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_start = nullptr;
    bool m_cancelled = false;  // the worker said it stopped early
};

}  // namespace vm
