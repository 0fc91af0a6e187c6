#pragma once

#include <QString>

namespace vm {

// Renders the main window into `out`: logged out, logged in with an avatar, during an update
// and idle with the latency shown. Returns how many pictures failed.
int GalleryMainWindow(const QString& out);

}  // namespace vm
