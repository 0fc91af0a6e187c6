#include "ui/WizardTitle.h"

#include <QFont>
#include <QLabel>

namespace vm {

QLabel* MakeWizardTitle(const QString& text, QWidget* parent) {
    auto* title = new QLabel(text, parent);
    title->setObjectName(QStringLiteral("1120"));
    QFont font = title->font();
    font.setPixelSize(22);
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    title->setFont(font);
    title->setWordWrap(true);
    return title;
}

}  // namespace vm
