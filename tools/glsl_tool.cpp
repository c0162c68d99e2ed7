// kelmo-glsl: prints the shadow program's generated GLSL text, the vertex shader, a line "---", then the
// fragment shader, for the start-up configuration or the one given. Needs no window or GL context.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/shader_source.h"

namespace kelmo {
namespace {

constexpr const char* kUsage =
    "usage: kelmo-glsl [--light N] [--units U,...] [--shadow-unit S] [--factor F] [--min-alpha A]\n"
    "Prints the shadow program's vertex shader, a line \"---\" and its fragment shader.\n"
    "  --light N        light number, 0-7 (default 0)\n"
    "  --units U,...    colour texture units, at most two, \"\" for none (default 0)\n"
    "  --shadow-unit S  texture unit of the shadow map, 0-31 (default 1)\n"
    "  --factor F       shadow darkness factor, used clamped into [0, 1] (default 0.4)\n"
    "  --min-alpha A    lowest alpha in shadow, used clamped into [0, 1] (default 0.5)\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelmo-glsl: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool parseInt(const std::string& text, int low, int high, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool parseReal(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return false;
    out = value;
    return true;
}

// Comma-separated unit numbers; the empty text is no unit.
bool parseUnits(const std::string& text, ShadowShaderSettings& settings) {
    settings.colourUnitCount = 0;
    if (text.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int unit = 0;
        if (settings.colourUnitCount == ShadowShaderSettings::kMaxColourUnits || !parseInt(item, 0, 31, unit))
            return false;
        settings.colourUnits[settings.colourUnitCount++] = unit;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

int run(int argc, char** argv) {
    ShadowShaderSettings settings;  // the start-up configuration
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool known = option == "--light" || option == "--units" || option == "--shadow-unit" ||
                           option == "--factor" || option == "--min-alpha";
        if (!known) return usageError("unknown option " + option);
        if (i + 1 >= argc) return usageError(option + " needs a value");
        const std::string value = argv[++i];
        double real = 0.0;
        if (option == "--light") {
            if (!parseInt(value, 0, 7, settings.lightNumber)) return usageError("bad light number " + value);
        } else if (option == "--units") {
            if (!parseUnits(value, settings)) return usageError("bad unit list " + value);
        } else if (option == "--shadow-unit") {
            if (!parseInt(value, 0, 31, settings.shadowUnit)) return usageError("bad shadow unit " + value);
        } else if (option == "--factor") {
            if (!parseReal(value, real)) return usageError("bad factor " + value);
            settings.shadowFactor = static_cast<float>(real);
        } else {
            if (!parseReal(value, real)) return usageError("bad minimum alpha " + value);
            settings.minShadowAlpha = real;
        }
    }
    const std::string text = shadowVertexSource(settings) + "---\n" + shadowFragmentSource(settings);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace kelmo

int main(int argc, char** argv) { return kelmo::run(argc, argv); }
