#include "ui/CWizardSheet.h"

#include <QImage>
#include <QPixmap>

#include "app/CVelmoraApp.h"
#include "skin/ResourceLoader.h"
#include "ui/CWizardPageFindGame.h"
#include "ui/CWizardPageFinish.h"
#include "ui/CWizardPageSelectVersion.h"
#include "ui/CWizardPageUpdate.h"
#include "ui/CWizardPageWelcome.h"

namespace vm {

namespace {

constexpr int kWatermarkJpeg = 4;
constexpr int kHeaderJpeg = 190;

// The wizard's pictures are JPEG resources, decoded by our own decoder like every other one.
QPixmap Picture(int number) {
    QImage image;
    if (!LoadImageResource(image, ResourceType::Jpeg, number)) return {};
    return QPixmap::fromImage(image);
}

}  // namespace

CWizardSheet::CWizardSheet(QWidget* parent) : QWizard(parent) {
    setWindowTitle(QStringLiteral("Velmora设置向导"));
    setWizardStyle(QWizard::ModernStyle);
    setOption(QWizard::HaveHelpButton, false);
    setOption(QWizard::NoBackButtonOnStartPage, false);
    setButtonText(QWizard::BackButton, QStringLiteral("< 上一步(&B)"));
    setButtonText(QWizard::NextButton, QStringLiteral("下一步(&N) >"));
    setButtonText(QWizard::FinishButton, QStringLiteral("完成"));
    setButtonText(QWizard::CancelButton, QStringLiteral("取消"));

    const QPixmap watermark = Picture(kWatermarkJpeg);
    const QPixmap header = Picture(kHeaderJpeg);

    m_welcome = new CWizardPageWelcome(this);
    m_findGame = new CWizardPageFindGame(this);
    m_selectVersion = new CWizardPageSelectVersion(this);
    m_update = new CWizardPageUpdate(this);
    m_finish = new CWizardPageFinish(this);
    m_welcome->setPixmap(QWizard::WatermarkPixmap, watermark);
    m_finish->setPixmap(QWizard::WatermarkPixmap, watermark);
    for (QWizardPage* inner :
         {static_cast<QWizardPage*>(m_findGame), static_cast<QWizardPage*>(m_selectVersion),
          static_cast<QWizardPage*>(m_update)})
        inner->setPixmap(QWizard::LogoPixmap, header);
    setPage(kWelcome, m_welcome);
    setPage(kFindGame, m_findGame);
    setPage(kSelectVersion, m_selectVersion);
    setPage(kUpdate, m_update);
    setPage(kFinish, m_finish);
    setStartId(kWelcome);
}

CWizardSheet::~CWizardSheet() = default;

bool CWizardSheet::Run(QWidget* parent) {
    CWizardSheet sheet(parent);
    if (sheet.exec() != QDialog::Accepted) return false;
    sheet.WriteResults();
    return true;
}

void CWizardSheet::WriteResults() {
    CVelmoraApp& app = theApp();
    if (m_findGame->m_pathType == 1) {
        app.WriteProfile(settings::kPathType, 1);
        app.WriteProfile(settings::kCustomPath, m_findGame->m_path.toStdString());
    } else {
        app.WriteProfile(settings::kPathType, 0);
    }
    app.Game().folder.Set({});
    app.Game().executable.Set({});
    app.WriteProfile(settings::kVersion, m_selectVersion->m_version.toStdString());
    app.WriteProfile(settings::kAutoUpdate, m_update->m_autoUpdate);
    app.WriteProfile(settings::kOnceEveryDay, m_update->m_onceEveryDay);
    app.WriteProfile(settings::kAutoRun, m_update->m_autoRun);
}

}  // namespace vm
