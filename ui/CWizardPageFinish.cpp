#include "ui/CWizardPageFinish.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/WizardTitle.h"

namespace vm {

CWizardPageFinish::CWizardPageFinish(QWidget* parent) : QWizardPage(parent) {
    setFinalPage(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeWizardTitle(QStringLiteral("正在完成Velmora配置"), this));
    layout->addSpacing(12);
    auto* done = new QLabel(QStringLiteral("您已经成功地为Velmora配置好了参数。以后可以通过“设置”"
                                           "菜单来对所有的配置进行修改。"),
                            this);
    done->setWordWrap(true);
    layout->addWidget(done);
    layout->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("要关闭这个向导，请单击“完成”。"), this));
}

}  // namespace vm
