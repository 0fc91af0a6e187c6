#include "ui/IdleMemory.h"

#include <elf.h>
#include <link.h>
#include <malloc.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace vm {

namespace {

struct DropState {
    std::uintptr_t page = 0;
    std::uintptr_t vdso = 0;
    std::size_t covered = 0;
};

// An object whose code was patched at load time has written pages in its text.
bool HasTextRelocations(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_DYNAMIC) continue;
        const auto* dyn = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + ph.p_vaddr);
        for (; dyn->d_tag != DT_NULL; ++dyn) {
            if (dyn->d_tag == DT_TEXTREL) return true;
            if (dyn->d_tag == DT_FLAGS && (dyn->d_un.d_val & DF_TEXTREL)) return true;
        }
    }
    return false;
}

// The kernel's own page of code is no file and stays as it is.
bool IsVdso(const dl_phdr_info* info, std::uintptr_t vdso) {
    if (vdso == 0) return false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        const std::uintptr_t from = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && vdso >= from && vdso < from + ph.p_memsz) return true;
    }
    return false;
}

// Runs with the loader's list locked: no object can be unloaded (and its range reused) under
// our feet.
int DropObject(dl_phdr_info* info, std::size_t, void* data) {
    auto* state = static_cast<DropState*>(data);
    if (IsVdso(info, state->vdso) || HasTextRelocations(info)) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        // A writable segment holds data, and the relocated part made read-only later: never.
        if (ph.p_type != PT_LOAD || (ph.p_flags & PF_W) || ph.p_memsz == 0) continue;
        const std::uintptr_t from = info->dlpi_addr + ph.p_vaddr;
        const std::uintptr_t to = from + ph.p_memsz;
        // Whole pages inside the segment only.
        const std::uintptr_t first = (from + state->page - 1) & ~(state->page - 1);
        const std::uintptr_t last = to & ~(state->page - 1);
        if (last <= first) continue;
        if (::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) == 0)
            state->covered += last - first;
    }
    return 0;
}

}  // namespace

void TrimHeap() {
    ::malloc_trim(0);
}

std::size_t DropLoadedCodePages() {
    DropState state;
    state.page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    state.vdso = static_cast<std::uintptr_t>(::getauxval(AT_SYSINFO_EHDR));
    ::dl_iterate_phdr(DropObject, &state);
    return state.covered;
}

void ReleaseIdleMemory() {
    TrimHeap();
    DropLoadedCodePages();
}

}  // namespace vm
