// velmora: the command-line front end. Each sub-command lives in its own file; add it to
// kCommands below.

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/CWorkerThread.h"
#include "app/Globals.h"
#include "app/Version.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/LazyCurl.h"

namespace {

using vm::cli::CliCommand;

const CliCommand* const kCommands[] = {
    &vm::cli::kGameCommand,    &vm::cli::kScanCommand,      &vm::cli::kPublishCommand,
    &vm::cli::kUpdateCommand,  &vm::cli::kInfoCommand,      &vm::cli::kMirrorsCommand,
    &vm::cli::kLoginCommand,   &vm::cli::kLogoutCommand,    &vm::cli::kSettingsCommand,
    &vm::cli::kAccountCommand, &vm::cli::kObsoletedCommand, &vm::cli::kScheduleCommand,
};

void PrintUsage(std::ostream& out) {
    out << "用法: velmora <命令> [选项]\n\n命令:\n";
    for (const CliCommand* c : kCommands) {
        std::string line = std::string("  ") + c->name + " " + c->synopsis;
        out << line << "\n      " << c->summary << "\n";
    }
    out << "\n使用 velmora <命令> --help 查看命令的说明，velmora --version 显示版本。\n";
}

// The first touch of each 4 KiB page of heap is a page fault, and an update over ten thousand
// files touches some fifteen MiB of it (the file list, the checksum cache, the walk): faults
// cost more than the work itself. The heap is reserved in one piece and backed by huge pages
// where the system allows it (a hint: without them nothing changes), and every thread
// allocates from it, so the scan's and the run's threads get them as well.
void PrepareHeap() {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    constexpr std::size_t kReserve = std::size_t{64} << 20;
    mallopt(M_ARENA_MAX, 1);
    // Files read whole (the list, the cache) stay in it too.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    const auto top = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    if (top == static_cast<std::uintptr_t>(-1)) return;
    // A huge page backs a whole aligned 2 MiB step, and only one nothing touched before the
    // hint: a step written first (by malloc's own bookkeeping, say) gets small pages, each a
    // fault of its own. So the way up to the first whole step is taken by a block that is
    // never used, never freed and never touched beyond its header, and the heap's work
    // starts on a step.
    std::uintptr_t start = (top + kHugePage - 1) & ~(kHugePage - 1);
    if (start - top < (std::uintptr_t{64} << 10)) start += kHugePage;
    mallopt(M_TOP_PAD, static_cast<int>(kReserve));
    // The heap's free top begins at or below `top`, so this block ends below `start`, and
    // the header malloc writes after it stays out of the first step.
    // Kept for the process's life (and reachable, so no leak checker mistakes it for one).
    static void* const wayUp = std::malloc(static_cast<std::size_t>(start - top) - 8192);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    mallopt(M_TOP_PAD, static_cast<int>(kHugePage));
    if (wayUp && end > start)
        (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace

int main(int argc, char** argv) {
    PrepareHeap();
    if (argc < 2) {
        PrintUsage(std::cerr);
        return vm::cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--version" || name == "-V") {
        std::cout << "velmora " << vm::kProgramVersion << "\n";
        return vm::cli::kExitOk;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(std::cout);
        return vm::cli::kExitOk;
    }
    for (const CliCommand* c : kCommands) {
        if (name == c->name) {
            // Most commands talk to a server; the library loads while the command starts. An
            // update's scan makes its threads first: loading the library would hold them up.
            if (c == &vm::cli::kUpdateCommand)
                vm::cli::StartLoadingCurlAfter(g_scanThreadsUp);
            else
                vm::cli::StartLoadingCurl();
            const int rc = c->run(std::vector<std::string>(argv + 2, argv + argc));
            // Workers are detached: give the last ones (a statistics ping, a worker's own
            // ending) a moment, then end without running static destructors under them.
            (void)vm::CWorkerThread::WaitForAll(std::chrono::seconds(2));
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            _exit(rc);
        }
    }
    std::cerr << "velmora: 未知命令：" << name << "\n\n";
    PrintUsage(std::cerr);
    return vm::cli::kExitUsage;
}
