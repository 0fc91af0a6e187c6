#include "update/CSelectServerLogic.h"

#include <cstdio>
#include <memory>

#include "app/CServerQueryThread.h"
#include "app/CVelmoraApp.h"
#include "update/MirrorEndpoints.h"

namespace vm {

std::string CSelectServerLogic::LatencyText(int milliseconds) {
    char text[64];
    std::snprintf(text, sizeof text, "(延迟：%d 毫秒)", milliseconds);
    return text;
}

void CSelectServerLogic::Open() {
    m_selected = MirrorIndexForServer(theApp().GetProfile(settings::kServer));
    m_labels = {kMeasuringText, kMeasuringText};
}

bool CSelectServerLogic::StartLatencyTests(const TargetRef& target) const {
    bool all = true;
    for (int index = 0; index < 2; ++index) {
        auto thread = std::make_unique<CServerQueryThread>();
        const MirrorHost host = MirrorHostFor(index);
        thread->m_index = index;
        thread->m_host = host.host;
        thread->m_port = host.port;
        thread->m_pMainWnd = target;
        all = CWorkerThread::Start(std::move(thread)) && all;
    }
    return all;
}

int CSelectServerLogic::OnLatency(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam > 1) return -1;
    const int index = static_cast<int>(wParam);
    m_labels[index] = LatencyText(static_cast<int>(lParam));
    return index;
}

bool CSelectServerLogic::Accept() const {
    return theApp().WriteProfile(settings::kServer, m_selected == 0 ? 1 : 2);
}

}  // namespace vm
