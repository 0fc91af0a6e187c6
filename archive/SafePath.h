#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vm {

// A relative path from outside data (a ZIP entry name, a file-list path or folder), made
// safe to join below a folder: separators '/' and '\' are both accepted, empty and "."
// parts are dropped, and the result uses '/'. nullopt for anything that could land outside
// the folder or is not a plain relative name: an absolute path ("/x", "\x", UNC "\\host\x"),
// a drive letter ("C:x", in any part), a ".." part, a NUL byte, or nothing left at all.
std::optional<std::string> SafeRelativePath(std::string_view name);
// The same, appended to out (left as it was when the name is refused): no string of its own.
bool AppendSafeRelativePath(std::string_view name, std::string& out);
// The same test without building the result.
bool IsSafeRelativePath(std::string_view name);

// true when path ends in a separator (a folder entry of an archive).
bool EndsWithSeparator(std::string_view path);

}  // namespace vm
