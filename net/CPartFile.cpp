#include "net/CPartFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileUtil.h"

namespace vm {

CPartFile::CPartFile(std::filesystem::path path)
    : m_path(std::move(path)), m_part(m_path.string() + ".vmpart") {}

CPartFile::~CPartFile() {
    if (m_committed) return;
    m_fd.Reset();
    ::unlink(m_part.c_str());
}

bool CPartFile::Open() {
    m_fd.Reset(::open(m_part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return m_fd.Valid() || Fail();
}

bool CPartFile::Write(const char* data, std::size_t size) {
    return platform::WriteAll(m_fd.Get(), data, size) || Fail();
}

bool CPartFile::Commit() {
    if (m_error) return false;
    if (!m_fd.Close()) return Fail();
    if (::rename(m_part.c_str(), m_path.c_str()) != 0) return Fail();
    m_committed = true;
    return true;
}

bool CPartFile::Fail() {
    if (!m_error) m_error = errno ? errno : EIO;
    return false;
}

}  // namespace vm
