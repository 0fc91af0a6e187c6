#pragma once

// The main window under test: its message boxes, workers, busy window and desktop are
// recorded instead of shown or started.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/CExplorer.h"
#include "ui/CVelmoraDlg.h"

namespace vm::test {

inline QApplication& MainWindowTestApp() {
    static int argc = 1;
    static char name[] = "ui-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        PrepareWebEngine();
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the event loop until done() holds or the deadline passes; the last done().
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

struct Box {
    std::string text;
    std::string title;
    UINT style;
};

class FakeBusy : public IBusyWindow {
  public:
    explicit FakeBusy(std::vector<std::string>& log) : m_log(log) {}
    void Show(const std::string& text) override {
        m_visible = true;
        m_log.push_back("show " + text);
    }
    void Hide() override {
        m_visible = false;
        m_log.push_back("hide");
    }
    bool IsVisible() const override { return m_visible; }

  private:
    std::vector<std::string>& m_log;
    bool m_visible = false;
};

// A tray that records what it is asked; `fail` adds fail that many times first.
class FakeShell : public ITrayShell {
  public:
    // The log is shared: the window removes its icon after the test's members are gone.
    explicit FakeShell(std::shared_ptr<std::vector<std::string>> log, bool available = true,
                       int failAdds = 0)
        : m_log(std::move(log)), m_available(available), m_failAdds(failAdds) {}
    bool Add(const TrayIconRecord& r) override {
        m_log->push_back("add " + std::to_string(r.uID));
        if (!m_available) return false;
        if (m_failAdds > 0) {
            --m_failAdds;
            return false;
        }
        return true;
    }
    bool Modify(const TrayIconRecord& r) override {
        m_log->push_back("modify " + std::to_string(r.uID) +
                         ((r.uFlags & NIF_INFO) ? " balloon " + r.szInfo : std::string()));
        return m_available;
    }
    bool Delete(const TrayIconRecord& r) override {
        m_log->push_back("delete " + std::to_string(r.uID));
        return m_available;
    }

  private:
    std::shared_ptr<std::vector<std::string>> m_log;
    bool m_available;
    int m_failAdds;
};

class TestMainWindow : public CVelmoraDlg {
  public:
    TestMainWindow() { MainWindowTestApp(); }

    bool page = false;  // host the news page
    bool tray = true;   // the desktop has a tray
    int answer = IDYES;
    std::vector<Box> boxes;
    std::vector<std::string> plainBoxes;
    std::vector<std::string> urls;
    std::vector<std::string> busyLog;
    int updateStarts = 0;
    int gameStarts = 0;
    int avatarFetches = 0;
    int pageReloads = 0;
    std::vector<bool> configWorkers;  // true: upload
    int deleteQuestions = 0;
    int quits = 0;
    bool loggedIn = false;
    std::shared_ptr<std::vector<std::string>> trayLogPtr =
        std::make_shared<std::vector<std::string>>();
    std::vector<std::string>& trayLog = *trayLogPtr;

    using CVelmoraDlg::HandleMessage;

  protected:
    int ShowBox(std::string_view text, std::string_view title, UINT style) override {
        boxes.push_back({std::string(text), std::string(title), style});
        return answer;
    }
    void ShowPlainBox(const std::string& text) override { plainBoxes.push_back(text); }
    void OpenUrl(const std::string& url) override { urls.push_back(url); }
    void StartUpdateWorkers() override { ++updateStarts; }
    void StartGameWorker() override { ++gameStarts; }
    void StartAvatarWorker() override { ++avatarFetches; }
    void ReloadPage() override {
        ++pageReloads;
        CVelmoraDlg::ReloadPage();
    }
    void StartConfigWorker(bool upload) override { configWorkers.push_back(upload); }
    bool IsTrayAvailable() const override { return tray; }
    std::unique_ptr<CVMTrayIcon> MakeTrayIcon() override {
        return std::make_unique<CVMTrayIcon>(std::make_unique<FakeShell>(trayLogPtr, tray));
    }
    std::unique_ptr<IBusyWindow> MakeBusy() override { return std::make_unique<FakeBusy>(busyLog); }
    void PostQuit() override { ++quits; }
    bool IsLoggedIn() const override { return loggedIn; }
    bool WantsEmbeddedPage() const override { return page; }
    bool AskDeleteUnknown(const std::vector<std::string>& c,
                          const std::vector<std::string>& l) override {
        ++deleteQuestions;
        return CVelmoraDlg::AskDeleteUnknown(c, l);
    }
};

}  // namespace vm::test
