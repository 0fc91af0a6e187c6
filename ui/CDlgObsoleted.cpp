#include "ui/CDlgObsoleted.h"

#include <QColor>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/Prompter.h"
#include "update/FileInstall.h"
#include "update/IsolationForecast.h"
#include "update/ObsoletedAddOns.h"
#include "update/UpdateRunLock.h"

namespace vm {

namespace {

QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}

QString SizeText(std::uintmax_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%ju B", bytes);
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return QString::fromLatin1(text);
}

constexpr char kBusy[] = "正在更新插件，请等更新结束后再试。";

}  // namespace

CDlgObsoleted::CDlgObsoleted(QWidget* parent, std::string gameFolder, Locking locking)
    : QDialog(parent), m_gameFolder(std::move(gameFolder)), m_locking(locking) {
    setObjectName("CDlgObsoleted");
    setWindowTitle(Utf8("已隔离的插件"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(Utf8(std::string("更新时被隔离的不明插件放在\"") + kObsoleteFolder +
                                  "\"文件夹里。勾选插件后可以把它们恢复到Interface文件夹，"
                                  "或者永久删除。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list = new QTreeWidget(this);
    m_list->setObjectName("list");
    m_list->setRootIsDecorated(false);
    m_list->setColumnCount(kColumns);
    m_list->setHeaderLabels(
        {Utf8("插件"), Utf8("文件数"), Utf8("大小"), Utf8("隔离时间"), Utf8("说明")});
    m_list->header()->setSectionResizeMode(kNote, QHeaderView::Stretch);
    m_list->setColumnWidth(kName, 150);
    m_list->setColumnWidth(kFiles, 55);
    m_list->setColumnWidth(kSize, 75);
    m_list->setColumnWidth(kMovedAt, 125);
    layout->addWidget(m_list, 1);

    m_message = new QLabel(this);
    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    layout->addWidget(m_message);

    auto* buttons = new QHBoxLayout;
    m_restore = new QPushButton(Utf8("恢复(&R)"), this);
    m_restore->setObjectName("restore");
    m_delete = new QPushButton(Utf8("删除(&D)"), this);
    m_delete->setObjectName("delete");
    auto* close = new QPushButton(Utf8("关闭"), this);
    close->setObjectName("close");
    buttons->addWidget(m_restore);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_restore, &QPushButton::clicked, this, [this] { RestoreChecked(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteChecked(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QTreeWidget::itemChanged, this, [this] { UpdateButtons(); });
    resize(620, 360);
    Refresh();
}

void CDlgObsoleted::Run(QWidget* parent, Locking locking) {
    CDlgObsoleted dialog(parent, GameFolder(), locking);
    dialog.exec();
}

bool CDlgObsoleted::Lock(std::unique_ptr<UpdateRunLock>& lock) {
    if (m_locking == Locking::PausedRun) return true;
    lock = UpdateRunLock::TryAcquire(m_gameFolder);
    if (lock) return true;
    m_message->setText(Utf8(kBusy));
    return false;
}

void CDlgObsoleted::Refresh() {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const ObsoletedEntry& e : ListObsoleted(m_gameFolder)) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(kName, Utf8(e.name));
        item->setData(kName, Qt::UserRole, Utf8(e.name));
        item->setText(kFiles, QString::number(e.files));
        item->setText(kSize, SizeText(e.bytes));
        if (e.movedAt > 0)
            item->setText(kMovedAt, QDateTime::fromSecsSinceEpoch(e.movedAt).toString(
                                        QStringLiteral("yyyy-MM-dd HH:mm")));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kName, Qt::Unchecked);
    }
    for (const Restored& restored : m_restored) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(kName, Utf8(restored.name));
        item->setText(kNote, Utf8(restored.note));
        item->setToolTip(kNote, Utf8(restored.note));
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        if (restored.marked) item->setForeground(kNote, QColor(0x97, 0, 0));
    }
    UpdateButtons();
}

bool CDlgObsoleted::Check(const std::string& name, bool checked) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(kName, Qt::UserRole).toString() == Utf8(name)) {
            item->setCheckState(kName, checked ? Qt::Checked : Qt::Unchecked);
            return true;
        }
    }
    return false;
}

std::vector<std::string> CDlgObsoleted::Checked() const {
    std::vector<std::string> names;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        const QVariant name = item->data(kName, Qt::UserRole);
        if (name.isValid() && item->checkState(kName) == Qt::Checked)
            names.push_back(name.toString().toStdString());
    }
    return names;
}

void CDlgObsoleted::UpdateButtons() {
    const bool any = !Checked().empty();
    m_restore->setEnabled(any);
    m_delete->setEnabled(any);
}

void CDlgObsoleted::RestoreChecked() {
    const std::vector<std::string> names = Checked();
    if (names.empty()) return;
    std::unique_ptr<UpdateRunLock> lock;
    if (!Lock(lock)) return;
    const std::vector<std::string> listPaths = LastListPaths();
    std::string lines;
    for (const std::string& name : names) {
        const ObsoletedResult r = RestoreObsoleted(m_gameFolder, name);
        if (!r.ok) {
            lines += "无法恢复“" + name + "”：" + r.error + "。\n";
            continue;
        }
        const IsolationForecast forecast = ForecastIsolation(m_gameFolder, name, listPaths);
        Restored restored{name, "已恢复", !forecast.reason.empty()};
        if (restored.marked) {
            restored.note += "；" + ForecastMark(forecast) + "（" + forecast.reason + "）";
            lines += name + "：" + forecast.reason + "\n";
        }
        m_restored.push_back(std::move(restored));
    }
    if (!lines.empty()) lines.pop_back();
    m_message->setText(Utf8(lines));
    Refresh();
}

void CDlgObsoleted::DeleteChecked() {
    const std::vector<std::string> names = Checked();
    if (names.empty()) return;
    std::string question = "将永久删除选中的" + std::to_string(names.size()) +
                           "个已隔离的插件，删除后无法恢复。确定要删除吗？";
    if (theApp().Prompt(question, "删除已隔离的插件", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    std::unique_ptr<UpdateRunLock> lock;
    if (!Lock(lock)) return;
    std::string problems;
    for (const std::string& name : names) {
        const ObsoletedResult r = PurgeObsoleted(m_gameFolder, name);
        if (!r.ok) problems += "无法删除“" + name + "”：" + r.error + "。\n";
    }
    if (!problems.empty()) problems.pop_back();
    m_message->setText(Utf8(problems));
    Refresh();
}

}  // namespace vm
