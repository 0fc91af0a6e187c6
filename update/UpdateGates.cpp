#include "update/UpdateGates.h"

#include "app/CVelmoraApp.h"
#include "app/Globals.h"

namespace vm {

namespace {

// The process-wide events are never destroyed: shared without an owner.
std::shared_ptr<ManualResetEvent> Unowned(ManualResetEvent& event) {
    return std::shared_ptr<ManualResetEvent>(std::shared_ptr<void>(), &event);
}

}  // namespace

UpdateGates UpdateGates::MainWindow() {
    return {Unowned(theApp().Runs().commitGate), Unowned(g_shortcutOffered)};
}

UpdateGates UpdateGates::Open() {
    return {std::make_shared<ManualResetEvent>(true), std::make_shared<ManualResetEvent>(true)};
}

void UpdateGates::Wake() const {
    if (commit) commit->Wake();
    if (shortcut) shortcut->Wake();
}

}  // namespace vm
