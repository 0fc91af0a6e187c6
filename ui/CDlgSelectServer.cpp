#include "ui/CDlgSelectServer.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/CVelmoraApp.h"
#include "app/Prompter.h"
#include "app/messages.h"
#include "skin/ResourceLoader.h"
#include "ui/OkCancelButtons.h"
#include "ui/QtMessageTarget.h"

namespace vm {

namespace {

constexpr char kIntro[] =
    "为了保证您在更新时获得更快的速度，请根据您的互联网运营商选择相应的服务器。";
// The question mark beside the text.
constexpr int kQuestionIcon = 2;

QString Id(int id) {
    return QString::number(id);
}

}  // namespace

CDlgSelectServer::CDlgSelectServer(QWidget* parent, LatencyStarter startLatency)
    : QDialog(parent), m_startLatency(std::move(startLatency)) {
    if (!m_startLatency) {
        m_startLatency = [this](const TargetRef& target) { m_logic.StartLatencyTests(target); };
    }
    setWindowTitle("选择服务器");
    setObjectName(Id(IDD));

    auto* icon = new QLabel(this);
    icon->setObjectName(Id(IDC_ICON));
    QImage picture;
    if (LoadImageResource(picture, ResourceType::SystemIcon, kQuestionIcon))
        icon->setPixmap(QPixmap::fromImage(
            picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    icon->setFixedSize(32, 32);
    auto* intro = new QLabel(kIntro, this);
    intro->setWordWrap(true);
    intro->setMinimumWidth(280);

    auto* group = new QGroupBox("服务器", this);
    m_telecom = new QRadioButton("电信服务器", group);
    m_telecom->setObjectName(Id(IDC_TELECOM));
    m_netcom = new QRadioButton("网通服务器", group);
    m_netcom->setObjectName(Id(IDC_NETCOM));
    for (int i = 0; i < 2; ++i) {
        m_latency[i] = new QLabel(group);
        m_latency[i]->setObjectName(Id(i == 0 ? IDC_TELECOM_LATENCY : IDC_NETCOM_LATENCY));
    }
    auto* rows = new QGridLayout(group);
    rows->addWidget(m_telecom, 0, 0);
    rows->addWidget(m_latency[0], 0, 1);
    rows->addWidget(m_netcom, 1, 0);
    rows->addWidget(m_latency[1], 1, 1);
    rows->setColumnStretch(1, 1);
    rows->setHorizontalSpacing(24);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);
    if (auto* ok = buttons->findChild<QPushButton*>(Id(IDOK))) ok->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(intro, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The choice stored so far (Telecom when none), both mirrors still being measured.
    m_logic.Open();
    (m_logic.Selected() == 0 ? m_telecom : m_netcom)->setChecked(true);
    for (int i = 0; i < 2; ++i) m_latency[i]->setText(QString::fromStdString(m_logic.Label(i)));

    m_target = QtMessageTarget::Create(this, [this](const Message& m) { return OnMessage(m); });
}

CDlgSelectServer::~CDlgSelectServer() = default;

QLabel* CDlgSelectServer::LatencyLabel(int mirrorIndex) const {
    return m_latency[mirrorIndex == 0 ? 0 : 1];
}

TargetRef CDlgSelectServer::Target() const {
    return m_target;
}

void CDlgSelectServer::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Measured once, when the player first sees the dialog.
    if (m_started) return;
    m_started = true;
    m_startLatency(m_target);
}

std::intptr_t CDlgSelectServer::OnMessage(const Message& m) {
    if (m.id != WM_VM_MIRROR_LATENCY) return 0;
    // Index 0 is the Telecom mirror; any other index reports on the Netcom one.
    const std::uintptr_t index = m.wParam == 0 ? 0 : 1;
    if (m_logic.OnLatency(index, m.lParam) >= 0)
        m_latency[index]->setText(QString::fromStdString(m_logic.Label(static_cast<int>(index))));
    return 0;
}

void CDlgSelectServer::accept() {
    m_logic.Select(m_telecom->isChecked() ? 0 : 1);
    if (!m_logic.Accept()) {
        // Start-up goes on with the Telecom mirror and asks again next time.
        // The settings file is beside the program or in the user's folder: name it.
        QMessageBox::warning(
            this, windowTitle(),
            QString::fromStdString("无法保存服务器设置，请确认 " + theApp().ProfilePath().string() +
                                   " 可以写入。"));
    }
    QDialog::accept();
}

int CDlgSelectServer::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

}  // namespace vm
