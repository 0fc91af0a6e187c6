#pragma once

// The settings after the first run, on three pages: update options and mirror, the game's
// location, and the miscellaneous choices (unknown add-ons, the close button, the exit
// confirmation). Controls are loaded from the settings file at init and written back on OK
// in three steps; an invalid game path stops after the first. UI thread only.
//
// The main window opens it from control 27 and command 32807 and afterwards cancels the
// pending game launch (timer 3022), whatever the answer.

#include <functional>
#include <optional>
#include <string>

#include "skin/CSkinDialog.h"

namespace vm {

class CUIPageSheet;

class CSettingDialog : public CSkinDialog {
  public:
    static constexpr int kWidth = 490;
    static constexpr int kHeight = 430;
    static constexpr int kSheetId = 1002;

    // Asks for the game executable; nullopt when the user cancels.
    using FileChooser = std::function<std::optional<std::string>(HWND owner)>;

    CSettingDialog();

    // Shows the settings over owner: IDOK (1) after a complete save, else IDCANCEL (2).
    int Run(HWND owner);
    // Creates the window over owner, hidden, without running it (the gallery, tests).
    bool Open(HWND owner);

    // Replaces the file-open dialog (tests).
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    CUIPageSheet* Sheet() const { return m_sheet; }

    void Notify(UINotify& notify) override;

  protected:
    bool OnInitDialog() override;

  private:
    void BuildUpdatePage();
    void BuildLocationPage();
    void BuildMiscPage();
    void Load();
    void UpdateOnceEveryDay();
    void UpdatePathControls();
    void Browse();
    void Save();

    CUIPageSheet* m_sheet = nullptr;
    FileChooser m_chooseFile;
};

}  // namespace vm
