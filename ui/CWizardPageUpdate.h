#pragma once

#include <QWizardPage>

class QCheckBox;

namespace vm {

// "更新插件": whether updates run at start, at most once a day, and start the game after.
class CWizardPageUpdate : public QWizardPage {
    Q_OBJECT
  public:
    static constexpr int kAutoUpdateId = 1125;
    static constexpr int kOnceEveryDayId = 1126;
    static constexpr int kAutoRunId = 1127;

    explicit CWizardPageUpdate(QWidget* parent = nullptr);

    void initializePage() override;
    bool validatePage() override;

    int m_autoUpdate = 1;
    int m_onceEveryDay = 0;
    int m_autoRun = 0;

  private:
    void UpdateState();

    QCheckBox* m_autoUpdateBox = nullptr;
    QCheckBox* m_onceEveryDayBox = nullptr;
    QCheckBox* m_autoRunBox = nullptr;
    bool m_initialized = false;
};

}  // namespace vm
