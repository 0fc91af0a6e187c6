#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "app/MessageTarget.h"
#include "update/CSelectServerLogic.h"

class QLabel;
class QRadioButton;

namespace vm {

class QtMessageTarget;

// "选择服务器": asked once, before anything is downloaded, which update mirror to use; shows
// the connect time to each. OK stores the choice in `Update`/`Server`, cancel stores nothing.
// The two latency workers post WM_VM_MIRROR_LATENCY to this dialog while it exists; a late
// answer after it closed goes nowhere. Controls carry their ids as object names ("1063").
// UI thread only.
class CDlgSelectServer : public QDialog {
  public:
    static constexpr int IDD = 160;
    static constexpr int IDC_TELECOM = 1063;
    static constexpr int IDC_NETCOM = 1064;
    static constexpr int IDC_ICON = 1065;
    static constexpr int IDC_TELECOM_LATENCY = 1066;
    static constexpr int IDC_NETCOM_LATENCY = 1067;

    // Starts the latency workers reporting to the given target; tests replace it.
    using LatencyStarter = std::function<void(const TargetRef&)>;

    explicit CDlgSelectServer(QWidget* parent = nullptr, LatencyStarter startLatency = {});
    ~CDlgSelectServer() override;

    // Shows the dialog modally: IDOK or IDCANCEL.
    int DoModal();
    // Where the latency workers report.
    TargetRef Target() const;

    QRadioButton* Radio(int mirrorIndex) const { return mirrorIndex == 0 ? m_telecom : m_netcom; }
    QLabel* LatencyLabel(int mirrorIndex) const;

  protected:
    void accept() override;
    void showEvent(QShowEvent* e) override;

  private:
    std::intptr_t OnMessage(const Message& m);

    CSelectServerLogic m_logic;
    LatencyStarter m_startLatency;
    std::shared_ptr<QtMessageTarget> m_target;
    QRadioButton* m_telecom = nullptr;
    QRadioButton* m_netcom = nullptr;
    QLabel* m_latency[2] = {};
    bool m_started = false;
};

}  // namespace vm
