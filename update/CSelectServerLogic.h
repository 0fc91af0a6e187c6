#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/MessageTarget.h"

namespace vm {

// What the mirror selection dialog ("选择服务器") decides, without the window: the initial
// choice, the two latency labels and what OK writes. The dialog calls it on the UI thread;
// the latency workers report to the dialog's target, which hands WM_VM_MIRROR_LATENCY on.
class CSelectServerLogic {
  public:
    static constexpr char kMeasuringText[] = "(检测中...)";
    // "(延迟：%d 毫秒)"; -1 when the mirror could not be reached.
    static std::string LatencyText(int milliseconds);

    // Reads `Update`/`Server`: 0 and 1 select the Telecom mirror, anything else the Netcom
    // one. Both labels show the measuring text.
    void Open();

    // Starts one latency worker per mirror reporting to target; false when a worker could
    // not be started (its label then stays as it is).
    bool StartLatencyTests(const TargetRef& target) const;

    // WM_VM_MIRROR_LATENCY: writes the label of mirror wParam. Returns that index, or -1 for
    // an index that names no mirror.
    int OnLatency(std::uintptr_t wParam, std::intptr_t lParam);

    int Selected() const { return m_selected; }
    void Select(int mirrorIndex) { m_selected = mirrorIndex == 0 ? 0 : 1; }
    const std::string& Label(int mirrorIndex) const { return m_labels.at(mirrorIndex); }

    // OK: writes `Update`/`Server` = 1 for the Telecom mirror, 2 for the Netcom one. Cancel
    // writes nothing, so it needs no call.
    bool Accept() const;

  private:
    int m_selected = 0;
    std::array<std::string, 2> m_labels{kMeasuringText, kMeasuringText};
};

}  // namespace vm
