#pragma once

#include <QString>

namespace vm {

// Renders the edits, page sheets, scroll bars, text viewer and list into `outDir`; returns
// the number of pictures that could not be written.
int GalleryPartThree(const QString& outDir);

}  // namespace vm
