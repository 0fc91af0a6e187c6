#include "ui/CWizardPageFindGame.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "app/GameFolder.h"
#include "app/Prompter.h"
#include "ui/SystemMessageBox.h"

namespace vm {

namespace {

QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setContentsMargins(20, 0, 0, 6);
    return label;
}

}  // namespace

CWizardPageFindGame::CWizardPageFindGame(QWidget* parent) : QWizardPage(parent) {
    setTitle(QStringLiteral("Tovrin目录"));
    setSubTitle(QStringLiteral("Velmora可以帮助你找到Tovrin所在的目录，你也可以手动指定目录。"));
    auto* layout = new QVBoxLayout(this);
    m_programFolder = new QRadioButton(QStringLiteral("Velmora更新器所在的文件夹"), this);
    m_programFolder->setObjectName(QString::number(kProgramFolderId));
    layout->addWidget(m_programFolder);
    layout->addWidget(Note(QStringLiteral("一般情况下，Velmora被放置在Tovrin所在的文件夹下，采用这"
                                          "种方式，Velmora会自动寻找当前路径下的游戏程序并运行。"),
                           this));
    m_custom = new QRadioButton(QStringLiteral("手动指定所在位置"), this);
    m_custom->setObjectName(QString::number(kCustomId));
    layout->addWidget(m_custom);
    layout->addWidget(Note(QStringLiteral("假如你的Velmora并非放置在Tovrin的文件夹里，你可以采用这"
                                          "种方式手动指定Tovrin所在的位置。"),
                           this));
    auto* group = new QButtonGroup(this);
    group->addButton(m_programFolder);
    group->addButton(m_custom);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("位置"), this));
    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setObjectName(QString::number(kPathId));
    row->addWidget(m_pathEdit, 1);
    m_browse = new QPushButton(QStringLiteral("浏览(&B)..."), this);
    m_browse->setObjectName(QString::number(kBrowseId));
    m_browse->setAutoDefault(false);
    row->addWidget(m_browse);
    layout->addLayout(row);
    m_candidatesLabel = new QLabel(QStringLiteral("在多个位置找到了Tovrin，请选择："), this);
    m_candidatesLabel->setContentsMargins(20, 6, 0, 0);
    layout->addWidget(m_candidatesLabel);
    m_candidates = new QComboBox(this);
    m_candidates->setObjectName(QString::number(kCandidatesId));
    layout->addWidget(m_candidates);
    m_candidatesLabel->hide();
    m_candidates->hide();
    layout->addStretch(1);

    connect(m_programFolder, &QRadioButton::clicked, this, &CWizardPageFindGame::UpdateState);
    connect(m_custom, &QRadioButton::clicked, this, &CWizardPageFindGame::UpdateState);
    connect(m_pathEdit, &QLineEdit::textChanged, this, &CWizardPageFindGame::UpdateState);
    connect(m_browse, &QPushButton::clicked, this, &CWizardPageFindGame::OnBrowse);
    connect(m_candidates, qOverload<int>(&QComboBox::activated), this,
            &CWizardPageFindGame::TakeCandidate);
}

void CWizardPageFindGame::OfferCandidates(bool proposeFirst) {
    m_found = FindGameCandidates();
    if (m_found.empty()) return;
    if (proposeFirst) TakeCandidate(0);
    if (m_found.size() < 2) return;
    for (const GameCandidate& c : m_found)
        m_candidates->addItem(QString::fromStdString(c.executable.string() + "（" +
                                                     CandidateSourceName(c.source) + "）"));
    m_candidates->setCurrentIndex(0);
    m_candidatesLabel->show();
    m_candidates->show();
}

void CWizardPageFindGame::TakeCandidate(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_found.size()) return;
    const GameCandidate& c = m_found[static_cast<std::size_t>(index)];
    if (c.source == CandidateSource::ProgramFolder) {
        m_programFolder->setChecked(true);
    } else {
        m_custom->setChecked(true);
        m_pathEdit->setText(QString::fromStdString(c.executable.string()));
    }
    UpdateState();
}

void CWizardPageFindGame::initializePage() {
    // Once per run, like a dialog page's first showing: going back and forth keeps the
    // user's input.
    if (!m_initialized) {
        m_initialized = true;
        const FoundGame found = GamePageChoice();
        if (found.choice == GameChoice::ProgramFolder) {
            m_programFolder->setChecked(true);
            m_pathType = 0;
        } else {
            m_custom->setChecked(true);
            m_pathEdit->setText(QString::fromStdString(found.path));
            if (found.source == GameSource::Settings) {
                m_pathType = 1;
                m_path = m_pathEdit->text();
            }
        }
        // Detection looks further, in the Linux launchers' prefixes; a stored choice stands.
        if (found.source != GameSource::Settings)
            OfferCandidates(found.source == GameSource::Nothing);
    }
    UpdateState();
}

bool CWizardPageFindGame::isComplete() const {
    return m_programFolder->isChecked() || (m_custom->isChecked() && !m_pathEdit->text().isEmpty());
}

void CWizardPageFindGame::UpdateState() {
    const bool custom = m_custom->isChecked();
    m_pathEdit->setEnabled(custom);
    m_browse->setEnabled(custom);
    emit completeChanged();
}

void CWizardPageFindGame::OnBrowse() {
    QFileDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Tovrin目录"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("可执行文件 (*.exe)")});
    dialog.setDefaultSuffix(QStringLiteral("exe"));
    const QString current = m_pathEdit->text();
    if (!current.isEmpty()) dialog.setDirectory(QFileInfo(current).absolutePath());
    dialog.selectFile(QStringLiteral("Tovrin.exe"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    m_pathEdit->setText(dialog.selectedFiles().front());
    UpdateState();
}

bool CWizardPageFindGame::validatePage() {
    const bool custom = m_custom->isChecked();
    const std::string path =
        custom ? m_pathEdit->text().toStdString() : ProgramFolder() + kGameExecutableName;
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        SystemMessageBox(this, QStringLiteral("无法找到Tovrin执行文件，请重新指定位置。"),
                         QStringLiteral("错误的位置"), MB_OK | MB_ICONERROR);
        return false;
    }
    m_pathType = custom ? 1 : 0;
    m_path = custom ? m_pathEdit->text() : QString();
    return true;
}

}  // namespace vm
