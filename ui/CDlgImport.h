#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace vm {

// "导入配置": loads a ".wwc" file into an account of the game's Account folder, replacing that
// account's settings only once the archive has been extracted completely. Opened modally by the
// main window's command 32801: `CDlgImport dlg(this); dlg.exec();`. exec() gives Accepted after
// a successful import. UI thread only.
class CDlgImport : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPathId = 1025;
    static constexpr int kBrowseId = 1042;
    static constexpr int kAccountId = 1043;

    explicit CDlgImport(QWidget* parent = nullptr);

    QString m_importPath;
    QString m_accountName;

  public slots:
    void accept() override;

  private:
    void OnBrowse();

    QLineEdit* m_pathEdit = nullptr;
    QLineEdit* m_accountEdit = nullptr;
};

}  // namespace vm
