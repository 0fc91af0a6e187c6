// Restores (or purges, with --purge) the named entries of a game folder's
// "Interface.obsoleted" one at a time, as `velmora obsoleted` does, and after each one
// prints a line and waits for one on stdin: a test kills it there, between two moves.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "update/ObsoletedAddOns.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    int first = 2;
    const bool purge = std::strcmp(argv[1], "--purge") == 0;
    if (purge) ++first;
    const std::string game = argv[first - 1];
    for (int i = first; i < argc; ++i) {
        const vm::ObsoletedResult r =
            purge ? vm::PurgeObsoleted(game, argv[i]) : vm::RestoreObsoleted(game, argv[i]);
        std::cout << (r.ok ? "moved " : "failed ") << argv[i] << std::endl;
        std::string go;
        if (!std::getline(std::cin, go)) return 1;
    }
    return 0;
}
