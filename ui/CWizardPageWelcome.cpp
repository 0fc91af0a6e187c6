#include "ui/CWizardPageWelcome.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/WizardTitle.h"

namespace vm {

CWizardPageWelcome::CWizardPageWelcome(QWidget* parent) : QWizardPage(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeWizardTitle(QStringLiteral("欢迎使用Velmora"), this));
    layout->addSpacing(12);
    for (const QString& text :
         {QStringLiteral("本向导可以帮助您轻松地配置Velmora更新客户端的参数。"),
          QStringLiteral("TovrinVelmora是一款向Tovrin玩家提供便利的插件，完全使用Tovrin提供的用户"
                         "接口第三方开发，并获得Tovrin官方推荐。")}) {
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        layout->addWidget(label);
        layout->addSpacing(8);
    }
    layout->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("要继续，请单击“下一步”。"), this));
}

}  // namespace vm
