// Parsing a 50,000-triangle document: reading the file and splitting it into 255-character pieces
// (the floor), sscanf reading the same pieces as the document formats say, and parseDocument.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "model/mqo_model.h"
#include "model/mqo_parser.h"

namespace kelmo {
namespace {

constexpr int kObjects = 5;
constexpr int kColumns = 81;  // grid vertices per row
constexpr int kRows = 51;
constexpr int kLooseTriangles = 2000;  // per object, besides the grid's 4,000 quadrilaterals

// Five objects of 8,000 triangles from quadrilaterals and 2,000 triangles each: 50,000 triangles.
std::string makeDocument() {
    std::string doc = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nScene {\r\n\tpos 0 0 1500\r\n}\r\n";
    doc += "Material 4 {\r\n";
    for (int m = 0; m < 4; ++m) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "\t\"mat%d\" shader(3) col(1.000 0.800 0.700 1.000) dif(0.800) amb(0.600) emi(0.000) "
                      "spc(0.000) power(5.00) tex(\"texture%d.bmp\")\r\n",
                      m, m);
        doc += line;
    }
    doc += "}\r\n";
    char line[256];
    for (int o = 0; o < kObjects; ++o) {
        std::snprintf(line, sizeof line,
                      "Object \"part%d\" {\r\n\tvisible 15\r\n\tshading 1\r\n\tfacet 59.5\r\n", o);
        doc += line;
        std::snprintf(line, sizeof line, "\tvertex %d {\r\n", kColumns * kRows);
        doc += line;
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c) {
                std::snprintf(line, sizeof line, "\t\t%.4f %.4f %.4f\r\n", c * 2.5 - 100.0, r * 3.25,
                              o * 7.125 - 15.5);
                doc += line;
            }
        std::snprintf(line, sizeof line, "\t}\r\n\tface %d {\r\n",
                      (kColumns - 1) * (kRows - 1) + kLooseTriangles);
        doc += line;
        for (int r = 0; r + 1 < kRows; ++r)
            for (int c = 0; c + 1 < kColumns; ++c) {
                const int a = r * kColumns + c;
                const double u = c / double(kColumns - 1), v = r / double(kRows - 1),
                             du = 1.0 / (kColumns - 1), dv = 1.0 / (kRows - 1);
                std::snprintf(line, sizeof line,
                              "\t\t4 V(%d %d %d %d) M(%d) UV(%.5f %.5f %.5f %.5f %.5f %.5f %.5f %.5f)\r\n", a,
                              a + 1, a + 1 + kColumns, a + kColumns, (r + c) % 4, u, v, u + du, v, u + du,
                              v + dv, u, v + dv);
                doc += line;
            }
        for (int t = 0; t < kLooseTriangles; ++t) {
            const int a = (t * 7) % (kColumns * kRows - kColumns - 1);
            std::snprintf(line, sizeof line,
                          "\t\t3 V(%d %d %d) M(%d) UV(0.25000 0.50000 0.75000 0.50000 0.50000 1.00000)\r\n",
                          a, a + kColumns + 1, a + 1, t % 4);
            doc += line;
        }
        doc += "\t}\r\n}\r\n";
    }
    doc += "Eof\r\n";
    return doc;
}

// The document on disk for the whole run.
struct DocumentFile {
    DocumentFile() {
        path = (std::filesystem::temp_directory_path() /
                ("kelmo_mqo_bench_" + std::to_string(getpid()) + ".mqo"))
                   .string();
        text = makeDocument();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
    }
    ~DocumentFile() { std::filesystem::remove(path); }
    std::string path;
    std::string text;
};

const DocumentFile& documentFile() {
    static const DocumentFile file;
    return file;
}

std::string readFile(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return text;
    std::fseek(file, 0, SEEK_END);
    text.resize(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    text.resize(std::fread(&text[0], 1, text.size(), file));
    std::fclose(file);
    return text;
}

template <class Visit>
void forEachPiece(const std::string& text, Visit visit) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t window = std::min<size_t>(text.size() - pos, 255);
        const void* newline = std::memchr(text.data() + pos, '\n', window);
        const size_t length = newline ? static_cast<const char*>(newline) - (text.data() + pos) + 1 : window;
        visit(text.data() + pos, length);
        pos += length;
    }
}

void BM_ReadAndSplitLines(benchmark::State& state) {
    const DocumentFile& doc = documentFile();
    for (auto _ : state) {
        const std::string text = readFile(doc.path);
        size_t pieces = 0;
        forEachPiece(text, [&](const char*, size_t) { ++pieces; });
        benchmark::DoNotOptimize(pieces);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
}
BENCHMARK(BM_ReadAndSplitLines)->Unit(benchmark::kMillisecond);

// The vertex and face lines read with the C library, as a NUL-terminated 256-byte buffer gives them.
void BM_SscanfVertexAndFaceLines(benchmark::State& state) {
    const DocumentFile& doc = documentFile();
    for (auto _ : state) {
        const std::string text = readFile(doc.path);
        float sum = 0;
        forEachPiece(text, [&](const char* piece, size_t length) {
            char line[256];
            std::memcpy(line, piece, length);
            line[length] = '\0';
            float f[8] = {};
            int k = 0, v[4] = {}, m = 0;
            if (const char* at = std::strstr(line, "V(")) {
                std::sscanf(line, "%d", &k);
                std::sscanf(at, "V(%d %d %d %d)", &v[0], &v[1], &v[2], &v[3]);
                if (const char* mAt = std::strstr(line, "M(")) std::sscanf(mAt, "M(%d)", &m);
                if (const char* uvAt = std::strstr(line, "UV("))
                    std::sscanf(uvAt, "UV(%f %f %f %f %f %f %f %f)", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                                &f[6], &f[7]);
            } else if (!std::strchr(line, '}')) {
                std::sscanf(line, "%f %f %f", &f[0], &f[1], &f[2]);
            }
            sum += f[0] + static_cast<float>(k + v[0] + m);
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
}
BENCHMARK(BM_SscanfVertexAndFaceLines)->Unit(benchmark::kMillisecond);

void BM_ParseDocument(benchmark::State& state) {
    const DocumentFile& doc = documentFile();
    size_t triangles = 0;
    size_t notes = 0;
    for (auto _ : state) {
        MqoDocument parsed;
        if (!parseDocument(doc.path, nullptr, 1.0f, parsed)) {
            state.SkipWithError("the document cannot be read");
            return;
        }
        triangles = 0;
        for (const MqoObject& object : parsed.objects) triangles += object.faces.size();
        notes = parsed.skipped.size();
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["notes"] = static_cast<double>(notes);  // 0: the document is read whole
    state.counters["MB"] = static_cast<double>(doc.text.size()) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
}
BENCHMARK(BM_ParseDocument)->Unit(benchmark::kMillisecond);

// What loading a frame costs before the GL upload: parse, then the batches with their normals.
void BM_ParseAndBuild(benchmark::State& state) {
    const DocumentFile& doc = documentFile();
    for (auto _ : state) {
        MqoDocument parsed;
        if (!parseDocument(doc.path, nullptr, 1.0f, parsed)) {
            state.SkipWithError("the document cannot be read");
            return;
        }
        MqoModel model = buildModel(parsed);
        benchmark::DoNotOptimize(model);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
}
BENCHMARK(BM_ParseAndBuild)->Unit(benchmark::kMillisecond);

// The demo's three motions (74 documents), parsed and built as start-up does before uploading.
void BM_DemoSequences(benchmark::State& state) {
    const std::string demo = std::string(KELMO_SOURCE_DIR) + "/demo/";
    const struct {
        const char* name;
        int frames;
    } sets[] = {{"stay", 30}, {"walk", 24}, {"run", 20}};
    for (auto _ : state) {
        size_t frames = 0;
        for (const auto& set : sets) {
            for (int n = 0; n < set.frames; ++n) {
                char path[512];
                std::snprintf(path, sizeof path, "%s%s%03d.mqo", demo.c_str(), set.name, n);
                MqoDocument parsed;
                if (!parseDocument(path, yUpToZUp, 1.0f, parsed)) {
                    state.SkipWithError("a demo document cannot be read");
                    return;
                }
                MqoModel model = buildModel(parsed);
                benchmark::DoNotOptimize(model);
                ++frames;
            }
        }
        state.counters["frames"] = static_cast<double>(frames);
    }
}
BENCHMARK(BM_DemoSequences)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelmo
