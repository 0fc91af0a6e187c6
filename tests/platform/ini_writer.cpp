// Writes KEY=0..COUNT-1 into SECTION of an INI file, one write at a time: a second process
// for the concurrent-writer tests.
#include <cstdlib>
#include <string>

#include "platform/IniFile.h"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    platform::IniFile ini(argv[1]);
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i)
        if (!ini.WriteInt(argv[2], argv[3], i)) return 1;
    return 0;
}
