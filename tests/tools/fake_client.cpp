// Stands in for Velmora-TVRN in the updater's tests: notes "v<version> <pid>" in
// "started.log" beside itself, then waits to be asked to end (SIGTERM), unless a file
// "ignore-term" lies beside it.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#ifndef FAKE_CLIENT_VERSION
#define FAKE_CLIENT_VERSION "0"
#endif

int main() {
    const std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    if (std::filesystem::exists(dir / "ignore-term")) ::signal(SIGTERM, SIG_IGN);
    {
        std::ofstream log(dir / "started.log", std::ios::app);
        log << "v" FAKE_CLIENT_VERSION " " << ::getpid() << "\n";
    }
    for (;;) ::pause();
}
