#pragma once
// The one argument the asset generators take: where to write.
#include <cstdio>
#include <cstring>

namespace kelmo {

// True when the command line is the program and one output path. Otherwise prints "usage: " and
// usage (to standard output for --help) and sets status to the exit status: 0 for --help, 2 else.
inline bool outputArgument(int argc, char** argv, const char* usage, int& status) {
    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (!help && argc == 2 && argv[1][0] != '-') return true;
    std::fprintf(help ? stdout : stderr, "usage: %s\n", usage);
    status = help ? 0 : 2;
    return false;
}

}  // namespace kelmo
