#pragma once

#include <QString>
#include <QWizardPage>
#include <vector>

#include "app/GameCandidates.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vm {

// "Tovrin目录": where the game is. Proposes the stored choice, or what detection finds before
// any choice was stored; Next checks that the executable exists.
class CWizardPageFindGame : public QWizardPage {
    Q_OBJECT
  public:
    static constexpr int kProgramFolderId = 1121;
    static constexpr int kCustomId = 1122;
    static constexpr int kPathId = 1123;
    static constexpr int kBrowseId = 1041;
    // Shown when detection finds the game in more than one place (launchers' prefixes).
    static constexpr int kCandidatesId = 1128;

    explicit CWizardPageFindGame(QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

    // 0: the game is in the program folder; 1: m_path names its executable.
    int m_pathType = 0;
    QString m_path;

  private:
    void UpdateState();
    void OnBrowse();
    // Detection's places: the first is proposed; with more than one the list offers them.
    void OfferCandidates(bool proposeFirst);
    void TakeCandidate(int index);

    QRadioButton* m_programFolder = nullptr;
    QRadioButton* m_custom = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QLabel* m_candidatesLabel = nullptr;
    QComboBox* m_candidates = nullptr;
    std::vector<GameCandidate> m_found;
    bool m_initialized = false;
};

}  // namespace vm
