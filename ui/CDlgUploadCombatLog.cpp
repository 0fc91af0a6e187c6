#include "ui/CDlgUploadCombatLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "net/CUploadLogThread.h"
#include "ui/QtMessageTarget.h"

namespace vm {

namespace {

const QString kStartCaption = QStringLiteral("开始上传");
const QString kStopCaption = QStringLiteral("终止上传");

QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CDlgUploadCombatLog::CDlgUploadCombatLog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("日志上传"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("选择想要上传的战斗日志："), this));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kListId));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setHeaderLabels({QStringLiteral("战斗"), QStringLiteral("击杀"),
                             QStringLiteral("起始时间"), QStringLiteral("终止时间")});
    const int widths[] = {120, 80, 150, 150};
    for (int c = 0; c < 4; ++c) m_list->setColumnWidth(c, widths[c]);
    for (const COMBAT_LOG_PIECE& piece : theApp().CombatLog().pieces.Get()) {
        auto* item = new QTreeWidgetItem(
            m_list, {FromUtf8(piece.fightName),
                     piece.success ? QStringLiteral("成功") : QStringLiteral("失败"),
                     FromUtf8(piece.startTime), FromUtf8(piece.endTime)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
    }
    layout->addWidget(m_list, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QString::number(kStatusId));
    layout->addWidget(m_status);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QString::number(kProgressId));
    m_progress->setTextVisible(false);
    m_progress->hide();
    layout->addWidget(m_progress);

    auto* row = new QHBoxLayout;
    auto* invert = new QPushButton(QStringLiteral("反选"), this);
    invert->setObjectName(QString::number(kInvertId));
    invert->setAutoDefault(false);
    row->addWidget(invert);
    row->addStretch(1);
    m_start = new QPushButton(kStartCaption, this);
    m_start->setObjectName(QString::number(kStartId));
    m_start->setDefault(true);
    row->addWidget(m_start);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QString::number(kCloseId));
    close->setAutoDefault(false);
    row->addWidget(close);
    layout->addLayout(row);
    resize(540, 320);

    connect(invert, &QPushButton::clicked, this, &CDlgUploadCombatLog::OnInvert);
    connect(m_start, &QPushButton::clicked, this, &CDlgUploadCombatLog::OnStart);
    connect(close, &QPushButton::clicked, this, &CDlgUploadCombatLog::reject);
    m_target = QtMessageTarget::Create(this, [this](const Message& m) { return OnMessage(m); });
}

CDlgUploadCombatLog::~CDlgUploadCombatLog() = default;

TargetRef CDlgUploadCombatLog::Target() const {
    return m_target;
}

bool CDlgUploadCombatLog::Running() const {
    return m_start->text() == kStopCaption || !m_start->isEnabled();
}

void CDlgUploadCombatLog::OnInvert() {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

void CDlgUploadCombatLog::OnStart() {
    // The selection is settled before the worker is let go.
    std::vector<bool> marks;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        marks.push_back(m_list->topLevelItem(i)->checkState(0) == Qt::Checked);
    theApp().CombatLog().pieces.With([&marks](std::vector<COMBAT_LOG_PIECE>& pieces) {
        for (std::size_t i = 0; i < pieces.size() && i < marks.size(); ++i)
            pieces[i].selected = marks[i];
    });

    m_start->setEnabled(false);
    if (m_start->text() == kStartCaption) {
        auto worker = std::make_unique<CUploadLogThread>();
        worker->m_pMainWnd = m_target;
        if (!CWorkerThread::Start(std::move(worker))) {
            m_start->setEnabled(true);
            m_status->setText(QStringLiteral("无法启动上传线程。"));
            return;
        }
        m_cancelled = false;
        LogUploadStartEvent().Set();
    } else {
        LogUploadStopEvent().Set();
    }
}

std::intptr_t CDlgUploadCombatLog::OnMessage(const Message& m) {
    switch (m.id) {
        case WM_VM_LOG_PROGRESS:
            m_start->setEnabled(true);
            m_start->setText(kStopCaption);
            m_progress->setRange(0, static_cast<int>(m.lParam));
            m_progress->setValue(static_cast<int>(m.wParam));
            m_progress->show();
            break;
        case WM_VM_LOG_STOPPED:
        case WM_VM_LOG_FINISHED:
            m_start->setEnabled(true);
            m_start->setText(kStartCaption);
            m_progress->hide();
            // The worker ends a cancelled run with "finished" too; the user asked to cancel,
            // so that is what the status keeps saying.
            if (m.id == WM_VM_LOG_STOPPED) {
                m_cancelled = true;
                m_status->setText(QStringLiteral("上传取消。"));
            } else if (!m_cancelled) {
                m_status->setText(QStringLiteral("上传结束。"));
            }
            break;
        case WM_VM_LOG_STATUS:
            if (const auto* text = std::get_if<std::string>(&m.payload))
                m_status->setText(FromUtf8(*text));
            break;
        default:
            break;
    }
    return 0;
}

void CDlgUploadCombatLog::done(int result) {
    // A worker left running would keep stepping for minutes with nobody watching.
    if (Running()) LogUploadStopEvent().Set();
    QDialog::done(result);
}

}  // namespace vm
