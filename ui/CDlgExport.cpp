#include "ui/CDlgExport.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/Prompter.h"
#include "net/AccountSettings.h"
#include "net/SettingsSync.h"
#include "skin/ResourceLoader.h"
#include "ui/AccountFileDialog.h"
#include "ui/OkCancelButtons.h"
#include "ui/SystemMessageBox.h"

namespace vm {

namespace {

QString FromPath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

CDlgExport::CDlgExport(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("导出配置"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("请选择将要导出的配置的账号"), this));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kListId));
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({QStringLiteral("帐号名称")});
    m_list->setColumnWidth(0, 200);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setIconSize(QSize(16, 16));
    QImage icon;
    const bool haveIcon = LoadImageResource(icon, ResourceType::Bitmap, 148);
    for (const std::string& name : ListAccounts()) {
        auto* item = new QTreeWidgetItem(m_list, {QString::fromStdString(name)});
        if (haveIcon) item->setIcon(0, QPixmap::fromImage(icon));
    }
    layout->addWidget(m_list, 1);

    auto* note = new QLabel(
        QStringLiteral("缺省情况下，导出文件将放置在Tovrin目录下，你也可以手动修改导出路径。"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addWidget(new QLabel(QStringLiteral("导出配置文件"), this));
    auto* row = new QHBoxLayout;
    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setObjectName(QString::number(kPathId));
    row->addWidget(m_pathEdit, 1);
    auto* browse = new QPushButton(QStringLiteral("浏览..."), this);
    browse->setObjectName(QString::number(kBrowseId));
    browse->setAutoDefault(false);
    row->addWidget(browse);
    layout->addLayout(row);

    layout->addWidget(MakeOkCancelButtons(this));
    resize(380, 360);

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CDlgExport::OnSelectionChanged);
    connect(browse, &QPushButton::clicked, this, &CDlgExport::OnBrowse);
}

QString CDlgExport::SelectedAccount() const {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text(0);
}

void CDlgExport::OnSelectionChanged() {
    const QString account = SelectedAccount();
    m_exportPath =
        account.isEmpty() ? QString() : FromPath(DefaultExportPath(account.toStdString()));
    m_pathEdit->setText(m_exportPath);
}

void CDlgExport::OnBrowse() {
    const QString account = SelectedAccount();
    const QString initialName = account.isEmpty() ? QString() : account + ".wwc";
    const QString chosen = ChooseAccountFile(this, AccountFileMode::Save,
                                             FromPath(AccountFolder().parent_path()), initialName);
    if (chosen.isEmpty()) return;
    m_exportPath = chosen;
    m_pathEdit->setText(m_exportPath);
}

void CDlgExport::accept() {
    m_exportPath = m_pathEdit->text();
    const QString account = SelectedAccount();
    if (m_exportPath.isEmpty() || account.isEmpty()) {
        SystemMessageBox(this, QStringLiteral("您输入的参数有误，请选择正确的参数。"),
                         QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return;
    }
    // The old file is replaced only once the new archive is complete, never deleted first.
    if (QFileInfo::exists(m_exportPath) &&
        SystemMessageBox(this, QStringLiteral("配置文件已经存在，你想要覆盖它吗？"),
                         QStringLiteral("疑问"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!ExportAccount(account.toStdString(), m_exportPath.toStdString())) {
        SystemMessageBox(this,
                         QStringLiteral("导出配置文件失败！请访问Velmora支持论坛获取技术支持！"),
                         QStringLiteral("Velmora"), MB_OK);
        return;
    }
    SystemMessageBox(this, QStringLiteral("配置文件<%1>已经被成功导出！").arg(m_exportPath),
                     QStringLiteral("成功"), MB_OK | MB_ICONINFORMATION);
    QDialog::accept();
}

}  // namespace vm
