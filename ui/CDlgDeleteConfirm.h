#pragma once

// The question about unknown add-ons during an update: the files the update list does not
// carry, grouped by add-on, and whether to isolate them (move them to "Interface.obsoleted")
// or keep them. Isolating needs the word "YES" typed first. UI thread only.
//
// The main window answers WM_VM_CONFIRM_DELETE with Answer(): 1 isolate, 0 keep.

#include <string>
#include <vector>

#include "skin/CSkinDialog.h"
#include "update/UnknownAddOns.h"

namespace vm {

class CWndListCtrl;

class CDlgDeleteConfirm : public CSkinDialog {
  public:
    static constexpr int kWidth = 435;
    static constexpr int kCollapsedHeight = 250;
    static constexpr int kExpandedHeight = 380;
    static constexpr int kListId = 2100;

    // unknownFiles: full paths of the files the list does not carry; listedFiles: the
    // staging paths of every list entry (the two lists of WM_VM_CONFIRM_DELETE).
    CDlgDeleteConfirm(std::vector<std::string> unknownFiles, std::vector<std::string> listedFiles);
    // Over groups already made (never empty).
    explicit CDlgDeleteConfirm(std::vector<AddOnGroup> groups);
    ~CDlgDeleteConfirm() override;

    // Groups the files and asks over owner: IDOK (1) isolate, IDCANCEL (2) keep. When no
    // group is left to ask about, IDOK at once without showing anything.
    int Run(HWND owner);
    // Groups the files and creates the window hidden, without running it (the gallery,
    // tests); false when nothing is left to ask about.
    bool Open(HWND owner);

    // The answer to WM_VM_CONFIRM_DELETE by the update rule (DecideUnknownAddOns), this
    // dialog showing the groups when there are any. 1 isolate, 0 keep.
    static int Answer(HWND owner, const std::vector<std::string>& unknownFiles,
                      const std::vector<std::string>& listedFiles);
    // The question without DeleteMode (AskUnknownAddOns), this dialog showing the groups.
    static UnknownAddOnsDecision Ask(HWND owner, const UnknownAddOnsQuestion& question);

    const std::vector<AddOnGroup>& Groups() const { return m_groups; }
    bool IsExpanded() const { return m_showDetails; }
    CWndListCtrl* List() const { return m_list; }

    void Notify(UINotify& notify) override;
    bool PreTranslateMessage(const MSG& msg) override;

  protected:
    bool OnInitDialog() override;
    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void ToggleDetails();
    void Finish(bool isolate);

    std::vector<std::string> m_unknownFiles;
    std::vector<std::string> m_listedFiles;
    std::vector<AddOnGroup> m_groups;
    bool m_grouped = false;  // m_groups is made (from the lists, or given)
    bool m_showDetails = false;
    CWndListCtrl* m_list = nullptr;  // a child widget of the window, deleted with it
};

}  // namespace vm
