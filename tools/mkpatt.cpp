// kelmo-mkpatt: makes a marker pattern file (.patt) from the marker's design, without a camera, and
// optionally a printable marker image.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tracking/marker_image.h"
#include "tracking/pattern_file.h"

namespace {

constexpr const char* kUsage =
    "usage: kelmo-mkpatt IMAGE [-o FILE.patt] [--print MARKER.png]\n"
    "IMAGE is the marker's interior design, or a whole marker with its black border (then its\n"
    "central half is used). Writes the pattern to FILE.patt (default: IMAGE with .patt).\n"
    "--print writes a printable marker with that interior.\n";

// The printable marker's black square: 1000 px that print as 80 mm, the samples' marker size.
constexpr int kPrintSquarePixels = 1000;
constexpr double kPrintSquareMillimetres = 80.0;
constexpr int kPrintPixelsPerMetre = static_cast<int>(kPrintSquarePixels * 1000.0 / kPrintSquareMillimetres);

struct Options {
    std::string image;
    std::string patt;
    std::string print;
};

std::string withPattExtension(const std::string& path) {
    std::filesystem::path p(path);
    return p.replace_extension(".patt").string();
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

// 0 when the options are fine, -1 after the help text; otherwise the exit status, after a message.
int parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "-o" || arg == "--print") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "kelmo-mkpatt: %s needs a file name\n%s", arg.c_str(), kUsage);
                return 2;
            }
            (arg == "-o" ? options.patt : options.print) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "kelmo-mkpatt: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        } else if (options.image.empty()) {
            options.image = arg;
        } else {
            std::fprintf(stderr, "kelmo-mkpatt: one IMAGE only, not also '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (options.image.empty()) {
        std::fprintf(stderr, "kelmo-mkpatt: no IMAGE given\n%s", kUsage);
        return 2;
    }
    if (options.patt.empty()) options.patt = withPattExtension(options.image);
    // Never overwrite the design with an output.
    for (const std::string* out : {&options.patt, &options.print})
        if (!out->empty() && samePath(*out, options.image)) {
            std::fprintf(stderr,
                         "kelmo-mkpatt: '%s' is the input image; name another output with -o or --print\n",
                         out->c_str());
            return 2;
        }
    if (!options.print.empty() && samePath(options.print, options.patt)) {
        std::fprintf(stderr, "kelmo-mkpatt: the pattern and the printable marker cannot both be '%s'\n",
                     options.print.c_str());
        return 2;
    }
    return 0;
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) std::remove(path.c_str());  // no half-written pattern left behind
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = parseOptions(argc, argv, options)) return status < 0 ? 0 : status;

    kelmo::BgrImage image;
    std::string error;
    if (!kelmo::loadImage(options.image, image, error)) {
        std::fprintf(stderr, "kelmo-mkpatt: %s: %s\n", options.image.c_str(), error.c_str());
        return 1;
    }
    bool whole = false;
    const kelmo::BgrImage interior = kelmo::markerInterior(image, &whole);
    std::printf("%s: %s (%d x %d px)\n", options.image.c_str(),
                whole ? "a whole marker, its central half is the pattern" : "the marker's interior",
                interior.width, interior.height);

    kelmo::PatternData pattern;
    if (!kelmo::patternFromDesign(interior, pattern, error)) {
        std::fprintf(stderr, "kelmo-mkpatt: %s: %s\n", options.image.c_str(), error.c_str());
        return 1;
    }
    if (!writeText(options.patt, kelmo::formatPatternText(pattern))) {
        std::fprintf(stderr, "kelmo-mkpatt: %s: cannot write the file\n", options.patt.c_str());
        return 1;
    }
    std::printf("wrote %s\n", options.patt.c_str());

    if (!options.print.empty()) {
        const kelmo::BgrImage printable = kelmo::composePrintable(interior, kPrintSquarePixels);
        if (!kelmo::savePng(options.print, printable, kPrintPixelsPerMetre, error)) {
            std::fprintf(stderr, "kelmo-mkpatt: %s: %s\n", options.print.c_str(), error.c_str());
            return 1;
        }
        const double millimetres = printable.width * 1000.0 / kPrintPixelsPerMetre;
        std::printf(
            "wrote %s (%d x %d px): print it %.1f mm wide (%.1f dpi) for an %.0f mm marker, the black "
            "square then measures %.0f mm\n",
            options.print.c_str(), printable.width, printable.height, millimetres,
            kPrintPixelsPerMetre * 0.0254, kPrintSquareMillimetres, kPrintSquareMillimetres);
    }
    return 0;
}
