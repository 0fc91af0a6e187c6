// Stands in for the updater in tests: writes its command line and working folder to
// "probe.txt" beside itself, then ends.
#include <unistd.h>

#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::ofstream out(self.parent_path() / "probe.txt.part");
    for (int i = 0; i < argc; ++i) out << (i ? " " : "") << argv[i];
    out << "\n" << std::filesystem::current_path().string() << "\n";
    out.close();
    std::filesystem::rename(self.parent_path() / "probe.txt.part",
                            self.parent_path() / "probe.txt");
    return 0;
}
