#pragma once

#include <QString>

namespace vm {

// Renders the unskinned windows into out; returns the number of pictures that failed.
int GalleryWizard(const QString& out);

}  // namespace vm
