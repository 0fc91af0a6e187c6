#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CWorkerThread.h"
#include "update/ByteBudget.h"
#include "update/CFileListModel.h"
#include "update/DeferredTarget.h"
#include "update/Download.h"
#include "update/OnceADayTest.h"
#include "update/UpdateGates.h"
#include "update/UpdateInfo.h"
#include "update/UpdateInfoFetch.h"
#include "update/UpdateOutcome.h"
#include "update/tagFILEINFO.h"

namespace vm {

// The update run. Its starter (UpdateSession) clears g_cancelUpdate, resets g_scanDone,
// starts CChecksumThread, then this job with m_pMainWnd set; it sends or posts every WM_VM_
// report of the run there and ends with WM_VM_UPDATE_END (wParam: the UpdateOutcome), unless
// it handed over to the updater (WM_VM_SELF_UPDATE_EXIT). Waits for the shortcut gate before
// its self-update question and for the commit gate before it installs anything. Works from
// the update information as published when it starts, or as it fetches it itself when the
// refresh request is set. Only one run works on a game folder at a time, in any process.
class CUpdateThread : public CWorkerThread {
  public:
    // The day test's clock; tests set their own.
    LocalClock m_clock = LocalNow;
    // What the run waits on; the main window's unless its starter says otherwise.
    UpdateGates m_gates = UpdateGates::MainWindow();

    // The run's lists (filled as it goes).
    std::vector<tagFILEINFO> m_entries;
    std::vector<tagFILEINFO> m_toDownload;
    std::vector<std::string> m_current;
    std::vector<std::string> m_localFiles;
    std::vector<std::string> m_removalCandidates;
    std::vector<std::string> m_listPaths;  // temporary copy of every entry

    // Called on the run's thread after each file is installed (tests cancel mid-commit).
    std::function<void(const tagFILEINFO&)> m_onInstalled;

  protected:
    int RunTask() override;

  private:
    // What the look-ahead found for one file to download.
    struct Prefetched {
        bool staged = false;  // the right file is already in the staging folder
        int rc = -1;          // the archive download's result
        HeldDownload packed;  // the archive, when rc is 0 (in memory or spilled to disk)
        DownloadFailure why;
        std::shared_ptr<DeferredTarget> progress;  // its file bar, shown when its turn comes
    };

    UpdateOutcome FileUpdate();
    std::string FileUrl(const std::string& remote) const;
    // Runs ahead of the download loop on a thread of its own.
    Prefetched Prefetch(std::size_t index);
    // Brings the file into the temporary folder from its fetched archive, else plain; digest
    // is its MD5 when it was at hand.
    bool FetchFile(const std::string& local, const std::string& remote, std::string& reason,
                   std::optional<std::string>& digest, Prefetched& archive);
    UpdateOutcome WaitForCommitGate();
    UpdateOutcome Commit();
    void Remove();
    bool MoveAside(const std::string& path);
    bool IsOurAddOn(const std::string& folderPath);
    UpdateOutcome End(UpdateOutcome outcome);

    std::string m_gameFolder;
    std::string m_staging;  // this game folder's own staging folder in the temporary folder
    std::string m_ahead;    // where archives fetched ahead go when memory is spent
    std::unique_ptr<ByteBudget> m_lookAheadMemory;  // all archives held ahead, together
    std::string m_baseUrl;
    std::string m_setFolder;
    bool m_noCache = false;
    std::size_t m_moveFailures = 0;
    std::size_t m_linkedOutside = 0;     // files not installed: their folder links outside
    std::map<std::string, bool> m_ours;  // IsOurAddOn's answers, by folder
    UpdateInfoMap m_info;                // the update information the run works from
    PublishedSets m_sets;                // and its add-on sets
};

// The machine identifier followed by the current time in seconds since 1970.
std::string CacheBuster();

}  // namespace vm
