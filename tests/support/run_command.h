#pragma once
// A command run through the shell as a user would run it, with what it printed kept.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kelmo::testing_support {

struct CommandResult {
    int status = -1;     // exit status; -1 when the command did not start or did not exit
    std::string output;  // standard output; the command redirects standard error where it wants it
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

// The text's lines without their line ends; a last line without one counts too.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace kelmo::testing_support
