#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vm {

// The update information "Info": key to value, ordered, exact comparison.
using UpdateInfoMap = std::map<std::string, std::string>;

// Keys with a meaning of their own.
inline constexpr char kInfoVersion[] = "Version";
inline constexpr char kInfoClient[] = "Client";
inline constexpr char kInfoUpdater[] = "Updater";
inline constexpr char kInfoNoCacheMode[] = "NoCacheMode";
inline constexpr char kInfoChangeLog[] = "ChangeLog";
// Every key starting with this publishes an add-on set: the rest is its name, the value
// its folder on the mirror.
inline constexpr char kInfoSetPrefix[] = "server";

// "Info" is UTF-16LE on the mirror. A leading byte-order mark is dropped, as is a lone last
// byte; unpaired surrogates become U+FFFD.
std::string DecodeInfoBytes(std::string_view utf16le);
// The published form: byte-order mark, then the text as UTF-16LE.
std::string EncodeInfoBytes(std::string_view utf8);

// Adds the entries of the text to info (nothing is removed; a later key replaces an earlier
// one). Lines end at LF, CR LF or a lone CR. A line starting with '#' is a comment, also
// inside a block. "key = {" opens a block whose lines are each kept with CR LF until a line
// starting with '}'; "key = value" sets value up to the end of the line or the first '{'.
// Blanks are spaces and tabs. A block still open at the end of the text keeps its lines.
void ParseInfoText(std::string_view text, UpdateInfoMap& info);

// Writes info back in the form ParseInfoText reads: values holding CR LF as blocks, the rest
// as single lines. Block lines that would read as a comment or as the closing line get a
// leading space. Keys and single-line values must not hold '=' or '{' (keys) or line
// breaks and '{' (values); see IsWritableInfoKey/Value.
std::string FormatInfoText(const UpdateInfoMap& info);
bool IsWritableInfoKey(std::string_view key);
bool IsWritableInfoValue(std::string_view value);

// The add-on sets info publishes, as (name, folder) in key order. A key that is exactly
// "server" names no set and is left out.
std::vector<std::pair<std::string, std::string>> PublishedSetsOf(const UpdateInfoMap& info);

// Refills names from info in key order and adds new names to folders; a name already in
// folders keeps the folder it was first given.
void RebuildPublishedSets(const UpdateInfoMap& info, std::vector<std::string>& names,
                          std::map<std::string, std::string>& folders);

}  // namespace vm
