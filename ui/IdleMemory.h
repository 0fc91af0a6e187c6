#pragma once

// Giving memory back once the window idles. The window program stays open all day, and
// starting the page's engine leaves behind freed heap and tens of MB of its code that ran once
// and is not needed again until the next page. Nothing here includes Qt.

#include <cstddef>

namespace vm {

// Returns the free pages of the heap to the system.
void TrimHeap();

// Lets go of the pages of loaded code and read-only data (of the program and every library it
// loaded) that were read in; they stay in the page cache and come back at their next use.
// Only segments that can never have been written are touched, so nothing is lost.
// Returns the bytes of address space it covered.
std::size_t DropLoadedCodePages();

// Both of the above.
void ReleaseIdleMemory();

}  // namespace vm
