#pragma once

#include <QWizardPage>

namespace vm {

// The wizard's last page: a bold title and how to finish, beside the watermark.
class CWizardPageFinish : public QWizardPage {
    Q_OBJECT
  public:
    explicit CWizardPageFinish(QWidget* parent = nullptr);
};

}  // namespace vm
