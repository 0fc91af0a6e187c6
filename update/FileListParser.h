#pragma once

#include <cstddef>
#include <string_view>

namespace vm {

class CFileListModel;

// The ZIP transport of the list: "filelist.xml.z" on the mirror holds "filelist.xml".
inline constexpr char kFileListName[] = "filelist.xml";
inline constexpr char kFileListArchiveName[] = "filelist.xml.z";
// The attribute that marks an optional add-on, and its value.
inline constexpr char kOptionAttribute[] = "X-Velmora-Option";

struct FileListParseResult {
    enum class Outcome {
        Ok,             // the document was read
        NotWellFormed,  // the XML does not parse; the model is untouched
        BadText,        // a path or checksum is not UTF-8; parsing stopped there
    };
    Outcome outcome = Outcome::NotWellFormed;
    // Entries left out because their folder or path would land outside Interface.
    std::size_t refused = 0;
};

// How a well-formed document meets what the model already holds.
enum class ModelFill { Add, Replace };

// Parses the document (UTF-8 XML, root AddOns with AddOn and File children) into model.
// With Replace the model is emptied once the XML has parsed, so a list read for one set
// never mixes with a list read earlier for another. Not locked: the caller owns model.
FileListParseResult ParseFileListInto(std::string_view document, CFileListModel& model,
                                      ModelFill fill);

// The update run's parse into its own model (replaced once the XML has parsed); shows
// "解析更新文件失败，错误代码：(%d)。" through the prompter for text that is not UTF-8.
// true only when the whole document was read.
[[nodiscard]] bool ParseFileListDocument(std::string_view document, CFileListModel& model);

}  // namespace vm
