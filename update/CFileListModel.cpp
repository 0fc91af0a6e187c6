#include "update/CFileListModel.h"

namespace vm {

void CFileListModel::Clear() {
    m_regularAddOns.clear();
    m_optionalAddOns.clear();
    m_topLevelFiles.clear();
}

bool CFileListModel::Empty() const {
    return m_regularAddOns.empty() && m_optionalAddOns.empty() && m_topLevelFiles.empty();
}

std::size_t CFileListModel::FileCount() const {
    std::size_t n = m_topLevelFiles.size();
    for (const auto& [folder, addOn] : m_regularAddOns) n += addOn.files.size();
    for (const auto& [folder, addOn] : m_optionalAddOns) n += addOn.files.size();
    return n;
}

}  // namespace vm
