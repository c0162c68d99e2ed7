// kelmo-mqo: reads Metasequoia documents as Kelmo does and reports what it would draw: materials with
// their texture files, objects with their batches, the box after the turn to z-up, and every part
// that was left out and why. --json prints one JSON object per document; --bench measures parse and
// build speed. --fix IN -o OUT rewrites a document into one that Kelmo draws whole (tools/mqo_fix.h).
//
// Sections: 1 options, 2 texture checks in a hidden window, 3 one document, 4 text and JSON, 5 main.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/mqo_model.h"
#include "model/mqo_parser.h"
#include "model/texture_pool.h"
#include "tools/hidden_window.h"
#include "tools/json_text.h"
#include "tools/mqo_fix_files.h"

namespace kelmo {
namespace {

// ---- 1 options ----------------------------------------------------------------------------------

constexpr const char* kUsage =
    "usage: kelmo-mqo FILE... [--json] [--bench]\n"
    "       kelmo-mqo --fix IN.mqo -o OUT.mqo\n"
    "Reads each Metasequoia document with the y-up to z-up turn and scale 1, as Kelmo loads its\n"
    "character, and prints its materials (texture files checked when an X display is at hand), its\n"
    "objects, its triangle count, the box of its drawn triangles and what was skipped.\n"
    "--json: one JSON object per document and line. --bench: parse-and-build speed in MB/s.\n"
    "--fix: writes OUT.mqo with faces of more than four corners split into triangles, mirrored\n"
    "objects made whole, textures converted into square power-of-two TGA files beside OUT.mqo and\n"
    "material lines cut to what Kelmo reads when too long; one line per change.\n";

struct Options {
    bool json = false;
    bool bench = false;
    std::vector<std::string> files;
    std::string fix, output;  // --fix IN -o OUT
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelmo-mqo: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// 0 to go on, 2 on a usage error, −1 after --help.
int parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--bench") {
            options.bench = true;
        } else if ((arg == "--fix" || arg == "-o") && i + 1 < argc) {
            (arg == "--fix" ? options.fix : options.output) = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else {
            options.files.push_back(arg);
        }
    }
    if (!options.fix.empty() || !options.output.empty()) {
        if (options.fix.empty() || options.output.empty())
            return usageError("--fix needs IN.mqo and -o OUT.mqo");
        if (!options.files.empty() || options.json || options.bench)
            return usageError("--fix takes one document and no other option");
        return 0;
    }
    return options.files.empty() ? usageError("no document given") : 0;
}

// ---- 2 texture checks in a hidden window --------------------------------------------------------

// Textures need a GL context; one is made only when an X display answers, since GLUT ends the
// process when it cannot open one.
class TextureChecker {
public:
    bool available() {
        if (!tried_) {
            tried_ = true;
            ready_ = openHiddenWindow("kelmo-mqo");
            if (ready_) pool_ = std::make_unique<TexturePool>();
        }
        return ready_;
    }
    // The pool prints its messages; quiet sends them to standard error instead.
    uint32_t texture(std::string& imagePath, std::string& alphaPath, bool quiet) {
        std::fflush(stdout);
        const int saved = quiet ? dup(STDOUT_FILENO) : -1;
        if (saved >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
        const uint32_t name = pool_->getTexture(imagePath, alphaPath);
        std::fflush(stdout);
        if (saved >= 0) {
            dup2(saved, STDOUT_FILENO);
            close(saved);
        }
        return name;
    }

private:
    bool tried_ = false;
    bool ready_ = false;
    std::unique_ptr<TexturePool> pool_;
};

// ---- 3 one document -----------------------------------------------------------------------------

enum class Loaded { NotChecked, Yes, No };

struct MaterialReport {
    float colour[4] = {};
    std::string texture, alpha;  // as the pool resolved them; empty when none
    Loaded loaded = Loaded::NotChecked;
};

struct ObjectReport {
    std::string name;
    size_t vertices = 0, triangles = 0, drawn = 0, batches = 0;
    bool visible = true;
    bool flat = false;
    float facet = 0;
};

struct Report {
    std::string file;
    bool read = false;
    std::string error = "cannot read the file";  // when not read
    std::vector<MaterialReport> materials;
    std::vector<ObjectReport> objects;
    size_t triangles = 0;
    float boxMin[3] = {}, boxMax[3] = {};
    std::vector<std::string> skipped;
    double benchMBps = -1;
};

// Repeats parse and build for about half a second.
double benchmark(const std::string& path, const std::string& bytes) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    double seconds = 0;
    size_t runs = 0;
    while (runs < 3 || seconds < 0.5) {
        const MqoDocument document = parseDocumentText(bytes.data(), bytes.size(), path, yUpToZUp, 1.0f);
        const MqoModel model = buildModel(document);
        ++runs;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return seconds > 0 ? static_cast<double>(bytes.size()) * runs / seconds / 1e6 : 0;
}

Report examine(const std::string& path, const Options& options, TextureChecker& textures) {
    Report report;
    report.file = path;
    std::string bytes, why;
    // The loader's own bound, so a huge file or /dev/zero is refused rather than read into memory.
    const DocumentFile read = readDocumentFile(path, bytes, why);
    if (read == DocumentFile::Unreadable) report.error += ": " + why;
    if (read != DocumentFile::Read) return report;
    report.read = true;

    MqoDocument document = parseDocumentText(bytes.data(), bytes.size(), path, yUpToZUp, 1.0f);
    for (MqoMaterial& material : document.materials) {
        MaterialReport m;
        std::copy(material.col, material.col + 4, m.colour);
        if (material.useTexture) {
            m.texture = document.directory + material.textureName;
            if (material.alphaName[0] != '\0') m.alpha = document.directory + material.alphaName;
            if (textures.available()) {
                material.texture = textures.texture(m.texture, m.alpha, options.json);
                m.loaded = material.texture != 0 ? Loaded::Yes : Loaded::No;
            }
        }
        report.materials.push_back(m);
    }

    const MqoModel model = buildModel(document);
    for (size_t i = 0; i < document.objects.size() && i < model.objects.size(); ++i) {
        const MqoObject& source = document.objects[i];
        const MeshObject& mesh = model.objects[i];
        ObjectReport o;
        o.name = mesh.name;
        o.vertices = source.vertices.size() / 3;
        o.triangles = source.faces.size();
        for (const MaterialBatch& batch : mesh.batches) o.drawn += static_cast<size_t>(batch.vertexCount) / 3;
        o.batches = mesh.batches.size();
        o.visible = mesh.visible;
        o.flat = mesh.flat;
        o.facet = source.facet;
        report.triangles += o.triangles;
        report.objects.push_back(o);
    }
    std::copy(model.boxMin, model.boxMin + 3, report.boxMin);
    std::copy(model.boxMax, model.boxMax + 3, report.boxMax);

    report.skipped = document.skipped;
    for (const ObjectReport& o : report.objects)
        if (o.drawn < o.triangles)
            report.skipped.push_back("object " + o.name + ": " + std::to_string(o.triangles - o.drawn) +
                                     " triangle(s) without a material of the table, never drawn");
    if (options.bench) report.benchMBps = benchmark(path, bytes);
    return report;
}

// ---- 4 text and JSON ----------------------------------------------------------------------------

std::string jsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    if (value == 0) value = 0;  // no "-0" from the axis turn
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string jsonTriple(const float v[3]) {
    return "[" + jsonNumber(v[0]) + "," + jsonNumber(v[1]) + "," + jsonNumber(v[2]) + "]";
}

std::string jsonLoaded(Loaded loaded) {
    return loaded == Loaded::Yes ? "true" : loaded == Loaded::No ? "false" : "null";
}

void printJson(const Report& r) {
    std::string line = "{\"file\":" + jsonString(r.file);
    if (!r.read) {
        std::printf("%s,\"error\":%s}\n", line.c_str(), jsonString(r.error).c_str());
        return;
    }
    line += ",\"materials\":[";
    for (size_t i = 0; i < r.materials.size(); ++i) {
        const MaterialReport& m = r.materials[i];
        line += std::string(i ? "," : "") + "{\"colour\":[" + jsonNumber(m.colour[0]) + "," +
                jsonNumber(m.colour[1]) + "," + jsonNumber(m.colour[2]) + "," + jsonNumber(m.colour[3]) + "]";
        line += ",\"texture\":" + (m.texture.empty() ? std::string("null") : jsonString(m.texture));
        line += ",\"alpha\":" + (m.alpha.empty() ? std::string("null") : jsonString(m.alpha));
        line += ",\"loaded\":" + (m.texture.empty() ? std::string("null") : jsonLoaded(m.loaded)) + "}";
    }
    line += "],\"objects\":[";
    for (size_t i = 0; i < r.objects.size(); ++i) {
        const ObjectReport& o = r.objects[i];
        line +=
            std::string(i ? "," : "") + "{\"name\":" + jsonString(o.name) +
            ",\"vertices\":" + std::to_string(o.vertices) + ",\"triangles\":" + std::to_string(o.triangles) +
            ",\"drawnTriangles\":" + std::to_string(o.drawn) + ",\"batches\":" + std::to_string(o.batches) +
            ",\"visible\":" + (o.visible ? "true" : "false") + ",\"shading\":\"" +
            (o.flat ? "flat" : "smooth") + "\",\"facet\":" + jsonNumber(o.facet) + "}";
    }
    line += "],\"triangles\":" + std::to_string(r.triangles);
    line += ",\"bbox\":{\"min\":" + jsonTriple(r.boxMin) + ",\"max\":" + jsonTriple(r.boxMax) + "}";
    line += ",\"skipped\":[";
    for (size_t i = 0; i < r.skipped.size(); ++i) line += (i ? "," : "") + jsonString(r.skipped[i]);
    line += "]";
    if (r.benchMBps >= 0) line += ",\"benchMBps\":" + jsonNumber(r.benchMBps);
    std::printf("%s}\n", line.c_str());
}

const char* loadedText(Loaded loaded) {
    return loaded == Loaded::Yes ? "loaded" : loaded == Loaded::No ? "NOT loaded" : "not checked";
}

void printText(const Report& r) {
    if (!r.read) {
        std::printf("%s: %s\n", r.file.c_str(), r.error.c_str());
        return;
    }
    std::printf("%s\n  materials: %zu\n", r.file.c_str(), r.materials.size());
    for (size_t i = 0; i < r.materials.size(); ++i) {
        const MaterialReport& m = r.materials[i];
        std::printf("    %zu: colour (%.3f %.3f %.3f %.3f)", i, m.colour[0], m.colour[1], m.colour[2],
                    m.colour[3]);
        if (!m.texture.empty()) std::printf(", texture %s", m.texture.c_str());
        if (!m.alpha.empty()) std::printf(", alpha %s", m.alpha.c_str());
        if (!m.texture.empty()) std::printf(" (%s)", loadedText(m.loaded));
        std::printf("\n");
    }
    std::printf("  objects: %zu\n", r.objects.size());
    for (const ObjectReport& o : r.objects)
        std::printf("    %s: %zu vertices, %zu triangles (%zu drawn), %zu batches, %s, %s, facet %.1f\n",
                    o.name.c_str(), o.vertices, o.triangles, o.drawn, o.batches,
                    o.visible ? "visible" : "hidden", o.flat ? "flat" : "smooth", o.facet);
    std::printf("  triangles: %zu\n", r.triangles);
    float low[3], high[3];
    for (int i = 0; i < 3; ++i) low[i] = r.boxMin[i] + 0.0f, high[i] = r.boxMax[i] + 0.0f;  // no "-0"
    std::printf("  box (z up): (%g %g %g) to (%g %g %g)\n", low[0], low[1], low[2], high[0], high[1],
                high[2]);
    std::printf("  skipped: %zu\n", r.skipped.size());
    for (const std::string& line : r.skipped) std::printf("    %s\n", line.c_str());
    if (r.benchMBps >= 0) std::printf("  parse and build: %.1f MB/s\n", r.benchMBps);
}

}  // namespace
}  // namespace kelmo

// ---- 5 main -------------------------------------------------------------------------------------

int main(int argc, char** argv) {
    using namespace kelmo;
    Options options;
    if (const int status = parseOptions(argc, argv, options)) return status < 0 ? 0 : status;
    if (!options.fix.empty()) return fixDocumentFile(options.fix, options.output);
    TextureChecker textures;
    int status = 0;
    for (const std::string& file : options.files) {
        const Report report = examine(file, options, textures);
        if (!report.read) status = 1;
        if (options.json)
            printJson(report);
        else
            printText(report);
    }
    std::fflush(stdout);
    return status;
}
