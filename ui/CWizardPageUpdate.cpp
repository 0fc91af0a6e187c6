#include "ui/CWizardPageUpdate.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/CVelmoraApp.h"

namespace vm {

CWizardPageUpdate::CWizardPageUpdate(QWidget* parent) : QWizardPage(parent) {
    setTitle(QStringLiteral("更新插件"));
    setSubTitle(QStringLiteral("选择你想要更新的插件以及更新方式。"));
    auto* layout = new QVBoxLayout(this);
    m_autoUpdateBox = new QCheckBox(QStringLiteral("运行时自动进行更新"), this);
    m_autoUpdateBox->setObjectName(QString::number(kAutoUpdateId));
    layout->addWidget(m_autoUpdateBox);
    auto* note = new QLabel(QStringLiteral("当Velmora启动时自动到服务器检测更新状态，如果发现有插件"
                                           "需要更新，会自动进行更新。"),
                            this);
    note->setWordWrap(true);
    note->setContentsMargins(20, 0, 0, 6);
    layout->addWidget(note);
    m_onceEveryDayBox = new QCheckBox(QStringLiteral("每天只更新一次"), this);
    m_onceEveryDayBox->setObjectName(QString::number(kOnceEveryDayId));
    layout->addWidget(m_onceEveryDayBox);
    m_autoRunBox = new QCheckBox(QStringLiteral("更新完后自动运行Tovrin"), this);
    m_autoRunBox->setObjectName(QString::number(kAutoRunId));
    layout->addWidget(m_autoRunBox);
    layout->addStretch(1);
    connect(m_autoUpdateBox, &QCheckBox::toggled, this, &CWizardPageUpdate::UpdateState);
}

void CWizardPageUpdate::initializePage() {
    if (m_initialized) return;
    m_initialized = true;
    m_autoUpdateBox->setChecked(theApp().GetProfile(settings::kAutoUpdate) != 0);
    m_onceEveryDayBox->setChecked(theApp().GetProfile(settings::kOnceEveryDay) != 0);
    m_autoRunBox->setChecked(theApp().GetProfile(settings::kAutoRun) != 0);
    UpdateState();
}

void CWizardPageUpdate::UpdateState() {
    m_onceEveryDayBox->setEnabled(m_autoUpdateBox->isChecked());
}

bool CWizardPageUpdate::validatePage() {
    m_autoUpdate = m_autoUpdateBox->isChecked() ? 1 : 0;
    // Once a day only means something while updates run by themselves.
    m_onceEveryDay = m_autoUpdateBox->isChecked() && m_onceEveryDayBox->isChecked() ? 1 : 0;
    m_autoRun = m_autoRunBox->isChecked() ? 1 : 0;
    return true;
}

}  // namespace vm
