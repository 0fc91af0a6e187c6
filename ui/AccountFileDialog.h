#pragma once

#include <QString>

class QWidget;

namespace vm {

// The file dialog of the export and import windows for ".wwc" files: a save dialog proposing
// initialName in the folder initialDir, or an open dialog for an existing file. The chosen
// full path, or an empty text when the user cancelled.
enum class AccountFileMode { Save, Open };
QString ChooseAccountFile(QWidget* parent, AccountFileMode mode, const QString& initialDir,
                          const QString& initialName);

}  // namespace vm
