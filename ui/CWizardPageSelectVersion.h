#pragma once

#include <QString>
#include <QWizardPage>

class QComboBox;

namespace vm {

// "选择插件版本": the add-on version to follow, from the names the server published. Without
// names the list is disabled and the page cannot be passed.
class CWizardPageSelectVersion : public QWizardPage {
    Q_OBJECT
  public:
    static constexpr int kListId = 1124;

    explicit CWizardPageSelectVersion(QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

    QString m_version;

  private:
    QComboBox* m_list = nullptr;
    bool m_initialized = false;
};

}  // namespace vm
