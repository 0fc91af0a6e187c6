#pragma once

#include <QString>

class QWidget;

namespace vm {

// The plain system message box of the unskinned windows (wizard, export, import, combat log):
// style and result use the MB_ and ID values of app/Prompter.h. Text is shown as plain text,
// so paths with '<' or '>' come out as written. UI thread only; modal over parent.
int SystemMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned style);

}  // namespace vm
