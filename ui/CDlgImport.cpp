#include "ui/CDlgImport.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "app/Prompter.h"
#include "net/AccountSettings.h"
#include "net/SettingsSync.h"
#include "ui/AccountFileDialog.h"
#include "ui/OkCancelButtons.h"
#include "ui/SystemMessageBox.h"

namespace vm {

CDlgImport::CDlgImport(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("导入配置"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("请指定你将要导入的配置文件"), this));
    auto* row = new QHBoxLayout;
    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setObjectName(QString::number(kPathId));
    row->addWidget(m_pathEdit, 1);
    auto* browse = new QPushButton(QStringLiteral("浏览..."), this);
    browse->setObjectName(QString::number(kBrowseId));
    browse->setAutoDefault(false);
    row->addWidget(browse);
    layout->addLayout(row);
    layout->addWidget(new QLabel(QStringLiteral("请指定账号名："), this));
    m_accountEdit = new QLineEdit(this);
    m_accountEdit->setObjectName(QString::number(kAccountId));
    layout->addWidget(m_accountEdit);
    layout->addStretch(1);

    layout->addWidget(MakeOkCancelButtons(this));
    resize(380, 170);

    connect(browse, &QPushButton::clicked, this, &CDlgImport::OnBrowse);
}

void CDlgImport::OnBrowse() {
    const QString chosen = ChooseAccountFile(this, AccountFileMode::Open, {}, {});
    if (chosen.isEmpty()) return;
    m_importPath = chosen;
    m_accountName =
        QString::fromStdString(AccountNameFromArchive(std::filesystem::path(chosen.toStdString())));
    m_pathEdit->setText(m_importPath);
    m_accountEdit->setText(m_accountName);
}

void CDlgImport::accept() {
    m_importPath = m_pathEdit->text();
    m_accountName = m_accountEdit->text();
    // A name with a separator or ".." would put the settings outside the Account folder.
    if (m_importPath.isEmpty() || m_accountName.isEmpty() ||
        !IsValidAccountName(m_accountName.toStdString())) {
        SystemMessageBox(this, QStringLiteral("您输入的参数有误，请选择正确的参数。"),
                         QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return;
    }
    std::error_code ec;
    const std::filesystem::path account = AccountFolder() / m_accountName.toStdString();
    // The old settings stay in place until the archive has been extracted completely.
    if (std::filesystem::symlink_status(account, ec).type() !=
            std::filesystem::file_type::not_found &&
        SystemMessageBox(
            this, QStringLiteral("该帐号的配置信息已经存在，你是否想要覆盖它以前的配置信息？"),
            QStringLiteral("提示"), MB_YESNO) != IDYES)
        return;
    if (!ImportAccount(m_importPath.toStdString(), m_accountName.toStdString())) {
        SystemMessageBox(this,
                         QStringLiteral("导入配置文件失败！请访问Velmora支持论坛获取技术支持！"),
                         QStringLiteral("Velmora"), MB_OK);
        return;
    }
    SystemMessageBox(
        this,
        QStringLiteral("配置文件<%1>已经被成功导入到账号<%2>！").arg(m_importPath, m_accountName),
        QStringLiteral("成功"), MB_OK | MB_ICONINFORMATION);
    QDialog::accept();
}

}  // namespace vm
