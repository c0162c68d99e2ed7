// kelmo-xwin: wait for, capture or close Kelmo's window from a script, as a window manager would.
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/support/xwindow.h"

namespace {

constexpr const char* kUsage =
    "usage: kelmo-xwin wait [--name TITLE] [--timeout SECONDS]\n"
    "       kelmo-xwin shot FILE.png [--name TITLE | --root] [--timeout SECONDS]\n"
    "       kelmo-xwin close [--name TITLE] [--timeout SECONDS]\n"
    "The window is found by its title (default \"Kelmo\"). wait polls for 10 s by default, shot and\n"
    "close look once unless --timeout is given. Exit status: 0 done, 1 failed, 2 bad arguments.\n";

struct Options {
    std::string command;
    std::string file;
    std::string title = "Kelmo";
    bool root = false;
    double timeoutSeconds = -1;  // negative: the command's default
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelmo-xwin: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool parseSeconds(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 0 && out < 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelmo::xwin;

    Options options;
    if (argc < 2) return usageError("no command given");
    options.command = argv[1];
    if (options.command == "--help" || options.command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.command != "wait" && options.command != "shot" && options.command != "close") {
        return usageError("unknown command '" + options.command + "'");
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--name" && i + 1 < argc) {
            options.title = argv[++i];
        } else if (arg == "--timeout" && i + 1 < argc) {
            if (!parseSeconds(argv[++i], options.timeoutSeconds)) {
                return usageError(std::string("bad --timeout value '") + argv[i] + "'");
            }
        } else if (arg == "--root" && options.command == "shot") {
            options.root = true;
        } else if (options.command == "shot" && options.file.empty() && arg.rfind("--", 0) != 0) {
            options.file = arg;
        } else {
            return usageError("unexpected argument '" + arg + "'");
        }
    }
    if (options.command == "shot" && options.file.empty()) return usageError("shot needs an output file");
    if (options.timeoutSeconds < 0) options.timeoutSeconds = options.command == "wait" ? 10 : 0;

    Connection connection;
    if (!connection) {
        std::fprintf(stderr, "kelmo-xwin: cannot open X display '%s' (is DISPLAY set?)\n",
                     connection.name().c_str());
        return 1;
    }
    Display* display = connection.display();

    WindowId window = 0;
    if (options.root) {
        window = rootWindow(display);
    } else {
        window = waitForWindow(display, options.title, options.timeoutSeconds);
        if (window == 0) {
            std::fprintf(stderr, "kelmo-xwin: no window titled '%s' on display '%s' after %g s\n",
                         options.title.c_str(), connection.name().c_str(), options.timeoutSeconds);
            return 1;
        }
    }

    std::string error;
    if (options.command == "wait") {
        std::printf("0x%lx\n", window);
        return 0;
    }
    if (options.command == "close") {
        if (!requestClose(display, window, error)) {
            std::fprintf(stderr, "kelmo-xwin: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    cv::Mat image;
    if (!captureWindow(display, window, image, error)) {
        std::fprintf(stderr, "kelmo-xwin: %s\n", error.c_str());
        return 1;
    }
    bool written = false;
    try {
        written = cv::imwrite(options.file, image);
    } catch (const cv::Exception& e) {
        error = e.what();
    }
    if (!written) {
        std::fprintf(stderr, "kelmo-xwin: cannot write '%s'%s%s\n", options.file.c_str(),
                     error.empty() ? "" : ": ", error.c_str());
        return 1;
    }
    return 0;
}
