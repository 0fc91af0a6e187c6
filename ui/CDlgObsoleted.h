#pragma once

// The add-ons an update run moved aside into "Interface.obsoleted": a list with check boxes,
// and Restore (back into Interface), Delete (for good) and Close. A restored add-on stays in
// the list, marked when the next update run would move it aside again, with the reason.
// Opened from the main window's command menu and from the unknown add-ons question's
// details. A plain Qt dialog; UI thread only.

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vm {

class UpdateRunLock;

class CDlgObsoleted : public QDialog {
  public:
    // Columns of the list.
    enum Column { kName, kFiles, kSize, kMovedAt, kNote, kColumns };

    // Take: restoring and deleting wait for no update run (the game folder's run lock).
    // PausedRun: opened from the run's own question, which waits for the answer and holds
    // the lock; it moves nothing until answered.
    enum class Locking { Take, PausedRun };

    CDlgObsoleted(QWidget* parent, std::string gameFolder, Locking locking = Locking::Take);

    // Runs the dialog modally over parent for the current game folder.
    static void Run(QWidget* parent, Locking locking = Locking::Take);

    // Lists the folder again (restored entries keep their rows).
    void Refresh();
    // Ticks the row of name; false when there is none.
    bool Check(const std::string& name, bool checked = true);
    // The same as the buttons.
    void RestoreChecked();
    void DeleteChecked();

    QTreeWidget* List() const { return m_list; }
    QLabel* Message() const { return m_message; }

  private:
    std::vector<std::string> Checked() const;
    void UpdateButtons();
    // The run lock as the dialog needs it; false, with the reason shown, when a run holds it.
    bool Lock(std::unique_ptr<UpdateRunLock>& lock);

    std::string m_gameFolder;
    Locking m_locking;
    // Restored in this dialog, with the note to show for each.
    struct Restored {
        std::string name;
        std::string note;
        bool marked = false;  // the next run asks or isolates
    };
    std::vector<Restored> m_restored;
    QTreeWidget* m_list;
    QLabel* m_message;
    QPushButton* m_restore;
    QPushButton* m_delete;
};

}  // namespace vm
