#include "ui/AccountFileDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace vm {

QString ChooseAccountFile(QWidget* parent, AccountFileMode mode, const QString& initialDir,
                          const QString& initialName) {
    QFileDialog dialog(parent);
    dialog.setWindowTitle(mode == AccountFileMode::Save ? QStringLiteral("导出配置")
                                                        : QStringLiteral("导入配置"));
    dialog.setNameFilters(
        {QStringLiteral("帐号配置文件 (*.wwc)"), QStringLiteral("所有文件 (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("wwc"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (mode == AccountFileMode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!initialDir.isEmpty()) dialog.setDirectory(initialDir);
    if (!initialName.isEmpty()) dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace vm
