#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QTreeWidget;

namespace vm {

// "导出配置": saves one account's settings of the game's Account folder into a ".wwc" file.
// Opened modally by the main window's command 32802: `CDlgExport dlg(this); dlg.exec();`.
// It does its own work and reports it in message boxes; exec() gives Accepted after a
// successful export. UI thread only.
class CDlgExport : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kListId = 1040;
    static constexpr int kPathId = 1025;
    static constexpr int kBrowseId = 1041;

    explicit CDlgExport(QWidget* parent = nullptr);

    // The target file, as the edit shows it.
    QString m_exportPath;

  public slots:
    void accept() override;

  private:
    void OnSelectionChanged();
    void OnBrowse();
    QString SelectedAccount() const;

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_pathEdit = nullptr;
};

}  // namespace vm
