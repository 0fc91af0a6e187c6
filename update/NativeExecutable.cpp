#include "update/NativeExecutable.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <optional>

namespace vm {
namespace fs = std::filesystem;

namespace {

struct ElfIdentity {
    unsigned char elfClass = 0;
    unsigned char data = 0;
    std::uint16_t type = 0;
    std::uint16_t machine = 0;
};

std::optional<ElfIdentity> ReadElfIdentity(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    unsigned char header[EI_NIDENT + 4] = {};
    const ssize_t n = ::read(fd, header, sizeof header);
    ::close(fd);
    if (n != static_cast<ssize_t>(sizeof header) || std::memcmp(header, ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    ElfIdentity id;
    id.elfClass = header[EI_CLASS];
    id.data = header[EI_DATA];
    // e_type and e_machine follow the identification bytes in every ELF class.
    auto half = [&](int at) {
        return id.data == ELFDATA2LSB
                   ? static_cast<std::uint16_t>(header[at] | header[at + 1] << 8)
                   : static_cast<std::uint16_t>(header[at] << 8 | header[at + 1]);
    };
    id.type = half(EI_NIDENT);
    id.machine = half(EI_NIDENT + 2);
    return id;
}

}  // namespace

bool IsNativeExecutable(const fs::path& path) {
    static const std::optional<ElfIdentity> self = ReadElfIdentity("/proc/self/exe");
    std::optional<ElfIdentity> id = ReadElfIdentity(path);
    return self && id && id->elfClass == self->elfClass && id->data == self->data &&
           id->machine == self->machine && (id->type == ET_EXEC || id->type == ET_DYN);
}

}  // namespace vm
