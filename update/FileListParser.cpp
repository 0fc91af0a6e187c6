#include "update/FileListParser.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "app/CVelmoraApp.h"
#include "update/CFileListModel.h"
#include "update/SafePath.h"
#include "update/Utf8.h"

namespace vm {
namespace {

enum class Pair { Missing, Unsafe, BadText, Ok };

// Reads path and checksum of a file element.
Pair ReadFile(const tinyxml2::XMLElement& e, std::string& path, std::string& checksum) {
    const char* p = e.Attribute("path");
    const char* c = e.Attribute("checksum");
    if (!p || !c) return Pair::Missing;
    if (!IsValidUtf8(p) || !IsValidUtf8(c)) return Pair::BadText;
    if (!SafeRelativePath(p)) return Pair::Unsafe;
    path = p;
    checksum = c;
    return Pair::Ok;
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
        std::string path, checksum;
        if (name == "AddOn") {
            AddOnRecord record;
            const char* folder = child->Attribute("folder");
            for (const auto* a = child->FirstAttribute(); a; a = a->Next()) {
                if (std::strcmp(a->Name(), "folder") != 0)
                    record.properties[a->Name()] = a->Value();
            }
            bool badText = false;
            for (const auto* f = child->FirstChildElement(); f; f = f->NextSiblingElement()) {
                switch (ReadFile(*f, path, checksum)) {
                    case Pair::Missing:
                        break;
                    case Pair::Unsafe:
                        ++result.refused;
                        break;
                    case Pair::BadText:
                        badText = true;
                        break;
                    case Pair::Ok:
                        record.files[path] = checksum;
                        break;
                }
                if (badText) break;
            }
            if (badText) {
                result.outcome = FileListParseResult::Outcome::BadText;
                return result;
            }
            // Without a folder that stays below Interface the add-on has no place to go.
            auto safeFolder = folder ? SafeRelativePath(folder) : std::nullopt;
            if (!safeFolder) {
                result.refused += record.files.size();
                continue;
            }
            record.folder = folder;
            const char* option = child->Attribute(kOptionAttribute);
            auto& group = (option && std::strcmp(option, "1") == 0) ? model.m_optionalAddOns
                                                                    : model.m_regularAddOns;
            group[record.folder] = std::move(record);
        } else if (name == "File") {
            switch (ReadFile(*child, path, checksum)) {
                case Pair::Missing:
                    break;
                case Pair::Unsafe:
                    ++result.refused;
                    break;
                case Pair::BadText:
                    result.outcome = FileListParseResult::Outcome::BadText;
                    return result;
                case Pair::Ok:
                    model.m_topLevelFiles[path] = checksum;
                    break;
            }
        }
    }
    result.outcome = FileListParseResult::Outcome::Ok;
    return result;
}

bool ParseFileListDocument(std::string_view document) {
    FileListParseResult result;
    {
        std::lock_guard<std::mutex> lock(theApp().m_fileListLock);
        result = ParseFileListInto(document, CFileListModel::Shared(), ModelFill::Replace);
    }
    if (result.outcome == FileListParseResult::Outcome::BadText) {
        char text[128];
        std::snprintf(text, sizeof text, "解析更新文件失败，错误代码：(%d)。", EILSEQ);
        theApp().Prompt(text, "Velmora", MB_OK | MB_ICONERROR);
    }
    return result.outcome == FileListParseResult::Outcome::Ok;
}

}  // namespace vm
