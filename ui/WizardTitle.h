#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace vm {

// The big bold title (static 1120) of the wizard's first and last page.
QLabel* MakeWizardTitle(const QString& text, QWidget* parent);

}  // namespace vm
