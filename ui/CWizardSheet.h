#pragma once

#include <QWizard>

namespace vm {

class CWizardPageWelcome;
class CWizardPageFindGame;
class CWizardPageSelectVersion;
class CWizardPageUpdate;
class CWizardPageFinish;

// "Velmora设置向导": the five pages that collect where the game is, the add-on version and how
// updates run. The pages only collect; nothing is written before Finish. The main window runs
// it on the first start (after writing [Upload] FirstRun 0) and from command 32819 with
// `CWizardSheet::Run(this)`, which also writes the results. UI thread only.
class CWizardSheet : public QWizard {
    Q_OBJECT
  public:
    enum PageId { kWelcome, kFindGame, kSelectVersion, kUpdate, kFinish };

    explicit CWizardSheet(QWidget* parent = nullptr);
    ~CWizardSheet() override;

    // Runs the wizard modally; on Finish writes the results and returns true. Cancel writes
    // nothing and returns false.
    static bool Run(QWidget* parent);

    // After Finish: [Path] PathType (and CustomPath), then the cached game folder and
    // executable are emptied so the next lookup resolves the new choice, then [Update]
    // Version, AutoUpdate, OnceEveryDay and AutoRun.
    void WriteResults();

    CWizardPageFindGame* FindGamePage() const { return m_findGame; }
    CWizardPageSelectVersion* SelectVersionPage() const { return m_selectVersion; }
    CWizardPageUpdate* UpdatePage() const { return m_update; }

  private:
    CWizardPageWelcome* m_welcome = nullptr;
    CWizardPageFindGame* m_findGame = nullptr;
    CWizardPageSelectVersion* m_selectVersion = nullptr;
    CWizardPageUpdate* m_update = nullptr;
    CWizardPageFinish* m_finish = nullptr;
};

}  // namespace vm
