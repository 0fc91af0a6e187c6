#pragma once

#include <tinyxml2.h>

#include <string>
#include <string_view>

namespace vm {

// Reading the community service's XML answers. Pure functions: no network, no shared state,
// callable from any thread.

// Parses text into doc (cleared first) and returns the answer's result code: 0 when the
// "result" element says success="1", otherwise the number in front of the first ':' of its
// "info" attribute; -1 when the text is no XML, the element is missing or the info holds no
// number. A failure answer never yields 0. result receives the element (null when missing).
int ParseCommunityResult(std::string_view text, tinyxml2::XMLDocument& doc,
                         const tinyxml2::XMLElement** result = nullptr);

// The code of an answer without keeping the document (the re-login check).
int CommunityResultCode(std::string_view text);

// The code in front of the first ':' of an info text; -1 when there is none.
int CommunityInfoCode(std::string_view info);

// An attribute's text, empty when it is missing.
std::string AttributeText(const tinyxml2::XMLElement& element, const char* name);

}  // namespace vm
