#pragma once

#include <mutex>
#include <string>

namespace vm::cli {

// Everything `velmora` writes while a job runs: status lines, the progress bar and the
// questions of the prompter share one terminal, so each output first takes the bar off the
// screen and puts it back after. On a terminal the bar redraws one line in place; otherwise
// only the overall progress is written, as plain lines. Thread-safe.
class TerminalOutput {
  public:
    static TerminalOutput& Instance();

    // One line on stdout (or stderr with toStderr).
    void Line(const std::string& text, bool toStderr = false);
    // Overall progress: done of count (files, or percent of 100); (0, 0) resets.
    void Total(long done, long count);
    // The current file's percentage; (0, 0) resets.
    void File(long percent, long count);
    // Takes the bar off the screen for a text written by someone else; Resume redraws it.
    void Suspend();
    void Resume();
    // Leaves the bar's line for good.
    void Finish();

    bool IsTerminal() const { return m_terminal; }

  private:
    TerminalOutput();
    void DrawLocked();
    void ClearLocked();

    std::mutex m_lock;
    bool m_terminal;
    bool m_shown = false;
    long m_done = 0, m_count = 0, m_filePercent = 0, m_fileCount = 0;
};

}  // namespace vm::cli
