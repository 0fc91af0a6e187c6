#pragma once

#include <QDialog>
#include <QImage>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MessageTarget.h"

namespace vm {

class QtMessageTarget;

// What shows through the splash picture's rounded corners: the desktop itself where a
// compositor runs, a capture of the screen taken once before showing, or a plain fill.
enum class SplashBackdrop { Translucent, Captured, Filled };

// The splash's timing and workers; tests shorten the one and replace the others.
struct SplashOptions {
    int firstCheckMs = 3000;
    int recheckMs = 1000;
    int fadeStepMs = 30;
    // The update-information job; it must set g_infoReady when it ends.
    std::function<void(const TargetRef&)> startInfo;
    std::function<void()> startAccountCheck;
    std::function<void(const std::string&)> openLink;
    std::optional<SplashBackdrop> backdrop;              // default: what the desktop allows
    std::optional<std::filesystem::path> workingFolder;  // default: the current folder
};

// The start-up picture, shown while the update information is fetched. It starts the
// update-information job and the account check, fades its rounded picture in, shows the
// optional advertisement picture ("ad/" + [Misc] ADFilename under the working folder, animated
// when it has several frames) with its link, and closes itself with IDOK once the job has
// ended, but never before its first check (3 s). The player cannot close it.
// UI thread only; the workers reach it through Target() while it exists.
class CDlgSplash : public QDialog {
  public:
    static constexpr int IDD = 170;
    static constexpr int kWidth = 569;
    static constexpr int kHeight = 395;
    static constexpr int kCheckTimer = 1;  // server information ready?
    static constexpr int kFrameTimer = 2;  // next advertisement frame
    static constexpr int kFadeTimer = 3;   // fade-in step
    static constexpr int kFirstOpacity = 15;
    static constexpr int kFadeStep = 30;

    using Backdrop = SplashBackdrop;
    using Options = SplashOptions;

    explicit CDlgSplash(QWidget* parent = nullptr, Options options = {});
    ~CDlgSplash() override;

    // Centres the splash on the screen and runs it until the information is ready: IDOK.
    int DoModal();

    // A timer's tick as the timers deliver it; public so tests can drive the clock.
    void OnTimer(int id);
    // The armed interval of a timer in ms, -1 when it is stopped.
    int TimerInterval(int id) const;

    int Opacity() const { return m_opacity; }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    int CurrentFrame() const { return m_frame; }
    // Where the advertisement is drawn (centred); empty without one.
    QRect AdRect() const;
    const std::string& AdLink() const { return m_adLink; }
    Backdrop GetBackdrop() const { return m_backdrop; }
    TargetRef Target() const;
    // The window as it paints now (the captured or filled backdrop included).
    QImage Render() const;

  protected:
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void InitDialog();
    void LoadAdvertisement();
    void UpdateWorkingCopy();
    void Paint(QPainter& p) const;
    void SetTimer(int id, int ms);
    void KillTimer(int id);
    int FrameDelayMs(int frame) const;

    Options m_options;
    std::shared_ptr<QtMessageTarget> m_target;
    QImage m_original;  // the rounded picture as loaded
    QImage m_working;   // its copy with the alpha scaled by the opacity
    QImage m_capture;
    Backdrop m_backdrop = Backdrop::Filled;
    int m_opacity = kFirstOpacity;
    std::vector<QImage> m_frames;
    std::vector<int> m_frameDelaysMs;
    int m_frame = 0;
    std::string m_adLink;
    struct Timer {
        int qtId = 0;
        int interval = 0;
    };
    std::map<int, Timer> m_timers;
    bool m_initialised = false;
};

}  // namespace vm
