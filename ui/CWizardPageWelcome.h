#pragma once

#include <QWizardPage>

namespace vm {

// The wizard's first page: a bold title and the welcome texts beside the watermark.
class CWizardPageWelcome : public QWizardPage {
    Q_OBJECT
  public:
    explicit CWizardPageWelcome(QWidget* parent = nullptr);
};

}  // namespace vm
