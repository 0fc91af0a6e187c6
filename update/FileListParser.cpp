#include "update/FileListParser.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/CVelmoraApp.h"
#include "archive/SafePath.h"
#include "platform/Utf8.h"
#include "update/CFileListModel.h"

namespace vm {
namespace {

// Adds a file element with both attributes to files; a path that would leave its folder is
// counted in refused instead. false when the text is not UTF-8.
bool AddFile(const tinyxml2::XMLElement& e, std::map<std::string, std::string>& files,
             std::size_t& refused) {
    const char* path = e.Attribute("path");
    const char* checksum = e.Attribute("checksum");
    if (!path || !checksum) return true;
    if (!IsValidUtf8(path) || !IsValidUtf8(checksum)) return false;
    // The publisher writes names in order: the hint makes each insert cheap.
    if (IsSafeRelativePath(path))
        files.insert_or_assign(files.end(), path, checksum);
    else
        ++refused;
    return true;
}

}  // namespace

FileListParseResult ParseFileListInto(std::string_view document, CFileListModel& model,
                                      ModelFill fill) {
    FileListParseResult result;
    tinyxml2::XMLDocument doc;
    if (doc.Parse(document.data(), document.size()) != tinyxml2::XML_SUCCESS) return result;
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (!root) return result;
    if (fill == ModelFill::Replace) model.Clear();

    for (const auto* child = root->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        const std::string_view name = child->Name();
        if (name == "AddOn") {
            AddOnRecord record;
            const char* folder = child->Attribute("folder");
            for (const auto* a = child->FirstAttribute(); a; a = a->Next()) {
                if (std::strcmp(a->Name(), "folder") != 0)
                    record.properties[a->Name()] = a->Value();
            }
            for (const auto* f = child->FirstChildElement(); f; f = f->NextSiblingElement()) {
                if (!AddFile(*f, record.files, result.refused)) {
                    result.outcome = FileListParseResult::Outcome::BadText;
                    return result;
                }
            }
            // Without a folder that stays below Interface the add-on has no place to go.
            if (!folder || !SafeRelativePath(folder)) {
                result.refused += record.files.size();
                continue;
            }
            record.folder = folder;
            const char* option = child->Attribute(kOptionAttribute);
            auto& group = (option && std::strcmp(option, "1") == 0) ? model.m_optionalAddOns
                                                                    : model.m_regularAddOns;
            group[record.folder] = std::move(record);
        } else if (name == "File") {
            if (!AddFile(*child, model.m_topLevelFiles, result.refused)) {
                result.outcome = FileListParseResult::Outcome::BadText;
                return result;
            }
        }
    }
    result.outcome = FileListParseResult::Outcome::Ok;
    return result;
}

bool ParseFileListDocument(std::string_view document, CFileListModel& model) {
    const FileListParseResult result = ParseFileListInto(document, model, ModelFill::Replace);
    if (result.outcome == FileListParseResult::Outcome::BadText) {
        char text[128];
        std::snprintf(text, sizeof text, "解析更新文件失败，错误代码：(%d)。", EILSEQ);
        theApp().Prompt(text, "Velmora", MB_OK | MB_ICONERROR);
    }
    return result.outcome == FileListParseResult::Outcome::Ok;
}

}  // namespace vm
