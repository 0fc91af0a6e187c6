#include "ui/CDlgSplash.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>
#include <QUrl>
#include <algorithm>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/Globals.h"
#include "app/Prompter.h"
#include "imaging/ImageDecoder.h"
#include "net/CCheckAccountThread.h"
#include "res/ResourceIds.h"
#include "skin/DecodedImage.h"
#include "skin/ResourceLoader.h"
#include "ui/DesktopBackdrop.h"
#include "ui/QtMessageTarget.h"
#include "update/CRealmInfoThread.h"
#include "update/SelfUpdate.h"

namespace vm {

namespace {

constexpr char kWaitText[] = "正在读取用户信息，请稍等......";
constexpr char kRightsNotice[] = "  © Velmora 工作室 保留所有权利";
const QColor kWaitColor(166, 162, 236);
const QColor kVersionColor(166, 132, 211);
// Behind the picture when the desktop can neither show through nor be captured.
const QColor kPlainFill(27, 12, 46);

QFont SongTi(int points) {
    QFont font;
    // SimSun where installed, else the CJK font every installation has.
    font.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize((points * 96 + 36) / 72);  // the points as a 96 dpi screen shows them
    return font;
}

// The account check reports to whichever main window exists when it is done: it may end
// before the main window opens (which then reads the account text itself) or after.
class MainWindowForwarder : public MessageTarget {
  public:
    std::intptr_t Send(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override {
        return SendTo(theApp().MainTarget(), msg, wParam, lParam);
    }
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
              Payload payload) override {
        return PostTo(theApp().MainTarget(), msg, wParam, lParam, std::move(payload));
    }
};

TargetRef MainWindowOfTheMoment() {
    // Never destroyed: the worker may report while the process exits.
    static auto* forwarder = new std::shared_ptr<MessageTarget>(new MainWindowForwarder);
    return *forwarder;
}

void StartAccountCheck() {
    auto thread = std::make_unique<CCheckAccountThread>();
    thread->m_pMainWnd = MainWindowOfTheMoment();
    CWorkerThread::Start(std::move(thread));
}

}  // namespace

CDlgSplash::CDlgSplash(QWidget* parent, Options options)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_options(std::move(options)) {
    if (!m_options.startInfo)
        m_options.startInfo = [](const TargetRef& target) { CRealmInfoThread::Launch(target); };
    if (!m_options.startAccountCheck) m_options.startAccountCheck = StartAccountCheck;
    if (!m_options.openLink) {
        m_options.openLink = [](const std::string& link) {
            QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(link)));
        };
    }
    setObjectName(QString::number(IDD));
    setWindowTitle("Velmora");
    setFixedSize(kWidth, kHeight);
    setMouseTracking(true);

    // The rounded picture; the square JPEG only when the PNG cannot be had.
    if (!LoadPngResource(m_original, res::IDP_SPLASH))
        LoadImageResource(m_original, ResourceType::Jpeg, res::IDJ_SPLASH);
    if (!m_original.isNull()) m_original = m_original.convertToFormat(QImage::Format_ARGB32);
    UpdateWorkingCopy();

    if (m_options.backdrop) {
        m_backdrop = *m_options.backdrop;
    } else {
        switch (CurrentDesktop()) {
            case DesktopKind::Compositing:
                m_backdrop = Backdrop::Translucent;
                break;
            case DesktopKind::PlainX11:
                m_backdrop = Backdrop::Captured;
                break;
            case DesktopKind::Other:
                m_backdrop = Backdrop::Filled;
                break;
        }
    }
    if (m_backdrop == Backdrop::Translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    } else {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    LoadAdvertisement();
    m_target = QtMessageTarget::Create(this, [](const Message&) -> std::intptr_t {
        // WM_VM_INFO_FAILED: the job has told the player already; the ready event follows.
        return 0;
    });
}

CDlgSplash::~CDlgSplash() = default;

TargetRef CDlgSplash::Target() const {
    return m_target;
}

void CDlgSplash::LoadAdvertisement() {
    CVelmoraApp& app = theApp();
    std::string name = app.GetProfile(settings::kADFilename);
    m_adLink = app.GetProfile(settings::kADLink);
    if (name.empty()) return;
    std::replace(name.begin(), name.end(), '\\', '/');
    std::error_code ec;
    const std::filesystem::path folder =
        m_options.workingFolder ? *m_options.workingFolder : std::filesystem::current_path(ec);
    const std::filesystem::path path = folder / "ad" / name;
    const DecodeResult decoded = DecodeImageFile(path);
    if (decoded) {
        for (std::size_t i = 0; i < decoded.image.frames.size(); ++i) {
            QImage frame = ToQImage(decoded.image, i);
            if (frame.isNull()) break;
            m_frames.push_back(frame.convertToFormat(QImage::Format_ARGB32_Premultiplied));
            m_frameDelaysMs.push_back(decoded.image.frames[i].DelayMs());
        }
    } else if (decoded.error == ImageError::UnknownFormat) {
        // A PNG is no format of our decoders; Qt reads it.
        const QImage png = LoadPictureFile(path);
        if (!png.isNull()) {
            m_frames.push_back(png);
            m_frameDelaysMs.push_back(0);
        }
    }
    // Anything else: no advertisement, the splash works as without one.
}

int CDlgSplash::FrameDelayMs(int frame) const {
    return m_frameDelaysMs.at(static_cast<std::size_t>(frame));
}

QRect CDlgSplash::AdRect() const {
    if (m_frames.empty()) return {};
    const QSize size = m_frames.front().size();
    return QRect(QPoint((kWidth - size.width()) / 2, (kHeight - size.height()) / 2), size);
}

void CDlgSplash::InitDialog() {
    m_initialised = true;
    g_infoReady.Reset();
    SetTimer(kCheckTimer, m_options.firstCheckMs);
    m_options.startInfo(m_target);
    if (m_frames.size() > 1) SetTimer(kFrameTimer, FrameDelayMs(0));
    m_options.startAccountCheck();
    SetTimer(kFadeTimer, m_options.fadeStepMs);
}

void CDlgSplash::showEvent(QShowEvent* e) {
    // The screen under the window, before the window covers it.
    if (m_backdrop == Backdrop::Captured && m_capture.isNull()) {
        m_capture = CaptureScreenArea(QRect(pos(), size()));
        if (m_capture.isNull()) m_backdrop = Backdrop::Filled;
    }
    QDialog::showEvent(e);
    if (!m_initialised) InitDialog();
}

int CDlgSplash::DoModal() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
    }
    return exec() == IDOK ? IDOK : IDCANCEL;
}

void CDlgSplash::SetTimer(int id, int ms) {
    KillTimer(id);
    m_timers[id] = Timer{startTimer(std::max(ms, 1), Qt::PreciseTimer), ms};
}

void CDlgSplash::KillTimer(int id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    if (it->second.qtId) killTimer(it->second.qtId);
    m_timers.erase(it);
}

int CDlgSplash::TimerInterval(int id) const {
    auto it = m_timers.find(id);
    return it == m_timers.end() ? -1 : it->second.interval;
}

void CDlgSplash::timerEvent(QTimerEvent* e) {
    for (const auto& [id, timer] : m_timers) {
        if (timer.qtId == e->timerId()) {
            OnTimer(id);  // may kill or re-arm this very timer
            return;
        }
    }
    QDialog::timerEvent(e);
}

void CDlgSplash::OnTimer(int id) {
    switch (id) {
        case kCheckTimer:
            if (g_infoReady.IsSet()) {
                KillTimer(kCheckTimer);
                KillTimer(kFrameTimer);
                KillTimer(kFadeTimer);
                done(IDOK);
            } else {
                SetTimer(kCheckTimer, m_options.recheckMs);
            }
            break;
        case kFrameTimer:
            if (m_frames.size() < 2) break;
            m_frame = (m_frame + 1) % FrameCount();
            update(AdRect());
            SetTimer(kFrameTimer, FrameDelayMs(m_frame));
            break;
        case kFadeTimer:
            m_opacity += kFadeStep;
            if (m_opacity >= 255) {
                m_opacity = 255;
                KillTimer(kFadeTimer);
            }
            UpdateWorkingCopy();
            update();
            break;
        default:
            break;
    }
}

void CDlgSplash::UpdateWorkingCopy() {
    if (m_original.isNull()) {
        m_working = QImage();
        return;
    }
    m_working = m_original;
    const int opacity = std::clamp(m_opacity, 0, 255);
    for (int y = 0; y < m_working.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_working.scanLine(y));
        for (int x = 0; x < m_working.width(); ++x) {
            const QRgb c = row[x];
            row[x] = qRgba(qRed(c), qGreen(c), qBlue(c), qAlpha(c) * opacity / 255);
        }
    }
}

void CDlgSplash::Paint(QPainter& p) const {
    const QRect all(0, 0, kWidth, kHeight);
    switch (m_backdrop) {
        case Backdrop::Translucent:
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(all, Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            break;
        case Backdrop::Captured:
            if (!m_capture.isNull()) {
                p.drawImage(0, 0, m_capture);
                break;
            }
            p.fillRect(all, kPlainFill);
            break;
        case Backdrop::Filled:
            p.fillRect(all, kPlainFill);
            break;
    }
    if (!m_working.isNull()) p.drawImage(0, 0, m_working);
    if (!m_frames.empty()) p.drawImage(AdRect().topLeft(), m_frames[m_frame]);

    p.setFont(SongTi(11));
    p.setPen(kWaitColor);
    p.drawText(QRect(QPoint(180, 284), QPoint(506, 308) - QPoint(1, 1)),
               Qt::AlignCenter | Qt::TextSingleLine, kWaitText);
    p.setFont(SongTi(10));
    p.setPen(kVersionColor);
    const QString version =
        QString::fromUtf8("版本v%1").arg(kClientVersion) + QString::fromUtf8(kRightsNotice);
    p.drawText(QRect(QPoint(150, 330), QPoint(480, 345) - QPoint(1, 1)),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, version);
}

void CDlgSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p);
}

QImage CDlgSplash::Render() const {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    Paint(p);
    return image;
}

void CDlgSplash::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && !m_frames.empty() && !m_adLink.empty() &&
        AdRect().contains(e->position().toPoint())) {
        m_options.openLink(m_adLink);
        return;
    }
    QDialog::mousePressEvent(e);
}

void CDlgSplash::mouseMoveEvent(QMouseEvent* e) {
    const bool onLink =
        !m_frames.empty() && !m_adLink.empty() && AdRect().contains(e->position().toPoint());
    setCursor(onLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QDialog::mouseMoveEvent(e);
}

void CDlgSplash::keyPressEvent(QKeyEvent* e) {
    // Escape would end the splash before the update information is there.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDlgSplash::closeEvent(QCloseEvent* e) {
    // Only the ready check ends the splash: the main window relies on the information.
    e->ignore();
}

}  // namespace vm
