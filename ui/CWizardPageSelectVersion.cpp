#include "ui/CWizardPageSelectVersion.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"

namespace vm {

CWizardPageSelectVersion::CWizardPageSelectVersion(QWidget* parent) : QWizardPage(parent) {
    setTitle(QStringLiteral("选择插件版本"));
    setSubTitle(QStringLiteral("根据你的游戏版本选择正确的插件版本。"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("插件的更新是基于你的游戏客户端版本的，不同的游戏客户端"
                                           "可能对应不通的插件版本的。请根据你的游戏版本选择适当的"
                                           "插件版本。"),
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addSpacing(8);
    auto* group = new QGroupBox(QStringLiteral("你的游戏版本是"), this);
    auto* inner = new QVBoxLayout(group);
    m_list = new QComboBox(group);
    m_list->setObjectName(QString::number(kListId));
    inner->addWidget(m_list);
    layout->addWidget(group);
    layout->addStretch(1);
    connect(m_list, &QComboBox::currentIndexChanged, this,
            &CWizardPageSelectVersion::completeChanged);
}

void CWizardPageSelectVersion::initializePage() {
    if (m_initialized) return;
    m_initialized = true;
    const QString saved = QString::fromStdString(theApp().GetProfile(settings::kVersion));
    const std::vector<std::string> names = theApp().PublishedState().sets.Get();
    m_list->clear();
    m_list->setEnabled(!names.empty());
    for (const std::string& name : names) m_list->addItem(QString::fromStdString(name));
    if (!names.empty()) {
        // Fixed-string matching ignores letter case, as the saved name may differ in case.
        const int found = saved.isEmpty() ? -1 : m_list->findText(saved, Qt::MatchFixedString);
        m_list->setCurrentIndex(found >= 0 ? found : 0);
    }
    emit completeChanged();
}

bool CWizardPageSelectVersion::isComplete() const {
    return m_list->isEnabled() && m_list->count() > 0;
}

bool CWizardPageSelectVersion::validatePage() {
    if (!isComplete()) return false;
    m_version = m_list->currentText();
    return true;
}

}  // namespace vm
