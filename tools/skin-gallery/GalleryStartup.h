#pragma once

#include <QString>

namespace vm {

// Renders the start-up windows into `out`: the mirror choice, the splash (fading in, with an
// advertisement, over a desktop) and the busy window. Returns how many pictures failed.
int GalleryStartup(const QString& out);

}  // namespace vm
