// Reads a Metasequoia document into MqoDocument records.
//
//   1. Lines: pieces of at most 255 characters, as fgets into a 256-byte buffer gives them.
//   2. Top level: the Material chunk and the Object chunks.
//   3. Object chunk: visible, shading, facet, vertex, BVertex and face parts.
//   4. Faces whose vertex or material index lies outside what was read are dropped at the end.
//
// Keywords are found anywhere in a line, case-sensitively; numbers are read with the scan formats
// of mqo_scan.h. Whatever the document does not say, or says out of bounds, is left out and noted
// in skipped with its line number; memory stays within a fixed multiple of the text's size.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "model/mqo_parser.h"
#include "model/mqo_scan.h"

namespace kelmo {
namespace {

constexpr size_t kPieceLength = 255;
constexpr size_t kMaxNotes = 100;
// Real documents need at most about 5 record bytes per text byte (quads without UVs); garbage such as
// a Material count of 2^31 followed by empty lines would otherwise need hundreds.
constexpr size_t kRecordBytesPerTextByte = 16;
constexpr size_t kRecordBytesSlack = size_t{1} << 20;
constexpr size_t kNameLength = 63;  // textureName and alphaName hold 63 characters and the NUL
constexpr size_t kVectorBytes = 12;

bool contains(std::string_view line, std::string_view word) {
    return line.find(word) != std::string_view::npos;
}

bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Where word starts a word of line: "col(" is not the end of "vcol(" (Metasequoia 4 writes vcol(1)
// before col( for materials with vertex colours) nor of "amb_col(". npos when nowhere.
size_t findWord(std::string_view line, std::string_view word) {
    for (size_t at = line.find(word); at != std::string_view::npos; at = line.find(word, at + 1))
        if (at == 0 || !isWordCharacter(line[at - 1])) return at;
    return std::string_view::npos;
}

// '{' minus '}' on a line.
int braceBalance(std::string_view line) {
    return static_cast<int>(std::count(line.begin(), line.end(), '{')) -
           static_cast<int>(std::count(line.begin(), line.end(), '}'));
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

float readLittleEndianFloat(const unsigned char* p) {
    const uint32_t bits = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class DocumentReader {
public:
    DocumentReader(const char* text, size_t size, VertexTransform transform, float scale, MqoDocument& doc)
        : text_(text),
          size_(size),
          transform_(transform),
          scale_(scale),
          budget_(size < (SIZE_MAX - kRecordBytesSlack) / kRecordBytesPerTextByte
                      ? size * kRecordBytesPerTextByte + kRecordBytesSlack
                      : SIZE_MAX),
          doc_(doc) {}

    void read() {
        bool haveMaterials = false;
        while (nextLine()) {
            const std::string_view line = line_;
            const int number = lineNumber_;
            if (contains(line, "Material")) {
                if (!haveMaterials) {
                    haveMaterials = true;
                    int count = 0;
                    scanFormat(line, "Material %d", {&count});
                    readMaterials(count, number);
                } else {
                    note(number, "a second Material chunk is ignored");
                    skipChunk();
                }
            }
            if (contains(line, "Object")) {
                if (!charge(sizeof(MqoObject))) break;
                MqoObject object;
                scanFormat(line, "Object %s", {ScanText{object.name, sizeof object.name}});
                std::vector<int> faceLines;
                readObject(object, faceLines, number);
                doc_.objects.push_back(std::move(object));
                faceLines_.push_back(std::move(faceLines));
            }
        }
        for (size_t i = 0; i < doc_.objects.size(); ++i) dropBrokenFaces(doc_.objects[i], faceLines_[i]);
        if (droppedNotes_ > 0)
            doc_.skipped.push_back(std::to_string(droppedNotes_) + " further notes left out");
    }

private:
    // 1. Lines ------------------------------------------------------------------------------------------

    // The next piece into line_: up to and including '\n', at most 255 characters. A NUL byte ends
    // the text that keywords and scans see, as it ends fgets' C string.
    bool nextLine() {
        if (pos_ >= size_) return false;
        const char* start = text_ + pos_;
        const size_t window = std::min(size_ - pos_, kPieceLength);
        const char* newline = static_cast<const char*>(std::memchr(start, '\n', window));
        const size_t length = newline ? static_cast<size_t>(newline - start) + 1 : window;
        pos_ += length;
        lineNumber_ = nextLineNumber_;
        if (newline) {
            nextLineNumber_ = addLines(nextLineNumber_, 1);
            longLine_ = false;
        } else if (pos_ < size_ && !longLine_) {
            longLine_ = true;
            note(lineNumber_, "over 255 characters with its line end: the rest is read as further lines");
        }
        const char* nul = static_cast<const char*>(std::memchr(start, '\0', length));
        line_ = std::string_view(start, nul ? static_cast<size_t>(nul - start) : length);
        return true;
    }

    // Line numbers stop at INT_MAX rather than wrap.
    static int addLines(int number, size_t lines) {
        return lines >= static_cast<size_t>(INT_MAX - number) ? INT_MAX : number + static_cast<int>(lines);
    }

    bool lineHasBrace() const { return line_.find('}') != std::string_view::npos; }

    void noteEndInside(const char* chunk, int firstLine) {
        if (!exhausted_) note(firstLine, std::string("the ") + chunk + " has no closing } before the end");
    }

    // Lines of a chunk that is read for nothing, nested chunks included, up to its own "}". The
    // current line is the one that opens it.
    void skipChunk() {
        int depth = std::max(braceBalance(line_), 1);
        while (depth > 0 && nextLine()) depth += braceBalance(line_);
    }

    // 2. Material chunk -----------------------------------------------------------------------------

    void readMaterials(int count, int firstLine) {
        if (count < 0) {
            note(firstLine, "material count " + std::to_string(count) + " is negative: read as 0");
            count = 0;
        }
        std::vector<MqoMaterial>& materials = doc_.materials;
        bool notedExtra = false;
        while (nextLine()) {
            if (lineHasBrace()) {
                if (materials.size() < static_cast<size_t>(count))
                    note(firstLine, "the Material chunk declares " + std::to_string(count) +
                                        " materials but holds " + std::to_string(materials.size()));
                return;
            }
            if (materials.size() >= static_cast<size_t>(count)) {
                if (!notedExtra)
                    note(lineNumber_, "more material lines than the count: the rest are ignored");
                notedExtra = true;
                continue;
            }
            if (!charge(sizeof(MqoMaterial))) return;
            materials.emplace_back();
            readMaterialLine(materials.back());
        }
        noteEndInside("Material chunk", firstLine);
    }

    void readMaterialLine(MqoMaterial& m) {
        const std::string_view line = line_;
        const size_t col = findWord(line, "col(");
        if (col == std::string_view::npos) {
            note(lineNumber_, "material " + std::to_string(doc_.materials.size() - 1) +
                                  " has no col(: its colours stay zero");
        } else {
            float r = 0, g = 0, b = 0, a = 0, dif = 0, amb = 0, emi = 0, spc = 0, power = 0;
            scanFormat(line.substr(col), "col(%f %f %f %f) dif (%f) amb(%f) emi(%f) spc(%f) power(%f)",
                       {&r, &g, &b, &a, &dif, &amb, &emi, &spc, &power});
            const float col4[4] = {r, g, b, a};
            std::copy(col4, col4 + 4, m.col);
            const std::pair<float*, float> scaled[] = {
                {m.dif, dif}, {m.amb, amb}, {m.emi, emi}, {m.spc, spc}};
            for (const auto& [out, factor] : scaled) {
                for (int i = 0; i < 3; ++i) out[i] = factor * col4[i];
                out[3] = a;
            }
            m.power = power;
        }
        const size_t tex = findWord(line, "tex(");
        if (tex == std::string_view::npos) return;
        m.useTexture = true;
        copyName(line, tex, 4, "texture", m.textureName);
        const size_t aplane = findWord(line, "aplane(");
        if (aplane != std::string_view::npos) copyName(line, aplane, 7, "alpha plane", m.alphaName);
    }

    // The name of tex("a.bmp") or aplane("a.tga"): from just past the opening quote to just before the
    // character that precedes the first ")" after the "(", so the closing quote is dropped.
    void copyName(std::string_view line, size_t keyword, size_t keywordLength, const char* what, char* out) {
        const size_t open = keyword + keywordLength;
        const size_t close = line.find(')', open);
        if (close == std::string_view::npos) {
            note(lineNumber_, std::string("the ") + what + " name has no closing ): left empty");
            return;
        }
        const size_t first = open + 1;
        const size_t length = close > first + 1 ? close - 1 - first : 0;
        if (length > kNameLength)
            note(lineNumber_, std::string("the ") + what + " name is longer than 63 characters: cut");
        const size_t kept = std::min(length, kNameLength);
        std::memcpy(out, line.data() + first, kept);
        out[kept] = '\0';
    }

    // 3. Object chunk -------------------------------------------------------------------------------

    void readObject(MqoObject& object, std::vector<int>& faceLines, int firstLine) {
        while (nextLine()) {
            const std::string_view line = line_;
            const int number = lineNumber_;
            if (contains(line, "visible ")) scanFormat(line, " visible %d", {&object.visible});
            if (contains(line, "shading ")) scanFormat(line, " shading %d", {&object.shading});
            if (contains(line, "facet ")) scanFormat(line, " facet %f", {&object.facet});
            bool read = false;  // a sub-reader took the chunk this line opens, up to its "}"
            if (contains(line, "vertex ")) {
                int count = object.vertexCount;  // a count that does not scan stays as it was
                scanFormat(line, " vertex %d", {&count});
                readVertices(object, count, number);
                read = true;
            }
            if (contains(line, "BVertex")) {
                int count = object.vertexCount;
                scanFormat(line, " BVertex %d", {&count});
                readBinaryVertices(object, count, number);
                read = true;
            }
            if (contains(line, "face ")) {
                readFaces(object, faceLines);
                read = true;
            }
            // Other sub-chunks (vertexattr and the like of newer documents) end at their own "}",
            // not at the Object's.
            if (!read && braceBalance(line) > 0) {
                skipChunk();
                continue;
            }
            if (line.find('}') != std::string_view::npos) return;
        }
        noteEndInside("Object chunk", firstLine);
    }

    // Counts of one vertex block, for its notes.
    struct VertexBlock {
        int firstLine;
        int nonFinite = 0;
        int firstNonFiniteLine = 0;
    };

    int startVertices(MqoObject& object, int count, int firstLine) {
        if (count < 0) {
            note(firstLine, "vertex count " + std::to_string(count) + " is negative: read as 0");
            count = 0;
        }
        if (object.vertexCount > 0) note(firstLine, "a second vertex block replaces the first");
        object.vertices.clear();
        object.vertexCount = 0;
        // Space for what the rest of the text can plausibly hold, not for what the count claims.
        object.vertices.reserve(3 * std::min<size_t>(static_cast<size_t>(count), (size_ - pos_) / 16));
        return count;
    }

    void storeVertex(MqoObject& object, float xyz[3], VertexBlock& block) {
        if (transform_) transform_(&xyz[0], &xyz[1], &xyz[2]);
        if (scale_ != 1.0f)
            for (int i = 0; i < 3; ++i) xyz[i] *= scale_;
        for (int i = 0; i < 3; ++i) {
            if (std::isfinite(xyz[i])) continue;
            xyz[i] = 0.0f;
            if (block.nonFinite++ == 0) block.firstNonFiniteLine = lineNumber_;
        }
        object.vertices.insert(object.vertices.end(), xyz, xyz + 3);
        ++object.vertexCount;
    }

    void finishVertices(const MqoObject& object, int count, const VertexBlock& block, bool extra) {
        if (object.vertexCount < count && !exhausted_)
            note(block.firstLine, "the vertex block declares " + std::to_string(count) +
                                      " vertices but holds " + std::to_string(object.vertexCount) +
                                      ": the object keeps those");
        if (extra)
            note(block.firstLine,
                 "the vertex block holds more vertices than its count: the rest are ignored");
        if (block.nonFinite > 0)
            note(block.firstNonFiniteLine, std::to_string(block.nonFinite) +
                                               " vertex coordinates from here on are not finite: set to 0");
    }

    void readVertices(MqoObject& object, int count, int firstLine) {
        count = startVertices(object, count, firstLine);
        VertexBlock block{firstLine};
        bool extra = false;
        while (nextLine()) {
            if (lineHasBrace()) {
                finishVertices(object, count, block, extra);
                return;
            }
            if (object.vertexCount >= count) {
                extra = true;
                continue;
            }
            if (!charge(kVectorBytes)) break;
            float xyz[3] = {0.0f, 0.0f, 0.0f};
            scanFormat(line_, "%f %f %f", {&xyz[0], &xyz[1], &xyz[2]});
            storeVertex(object, xyz, block);
        }
        finishVertices(object, count, block, extra);
        noteEndInside("vertex block", firstLine);
    }

    // "Vector n [bytes]" and then the raw bytes: n vectors of three little-endian floats.
    void readBinaryVertices(MqoObject& object, int count, int firstLine) {
        count = startVertices(object, count, firstLine);
        if (!nextLine()) {
            noteEndInside("BVertex block", firstLine);
            return;
        }
        const size_t vector = line_.find("Vector");
        if (vector == std::string_view::npos) {
            note(lineNumber_, "the BVertex block has no Vector line: no vertices");
            return;
        }
        VertexBlock block{lineNumber_};
        int vectors = 0;
        int bytes = 0;
        scanFormat(line_.substr(vector), "Vector %d [%d]", {&vectors, &bytes});
        if (bytes < 0) {
            note(lineNumber_, "byte count " + std::to_string(bytes) + " is negative: no bytes read");
            bytes = 0;
        }
        const size_t available = std::min(static_cast<size_t>(bytes), size_ - pos_);
        const auto* raw = reinterpret_cast<const unsigned char*>(text_ + pos_);
        pos_ += available;
        nextLineNumber_ =
            addLines(nextLineNumber_, static_cast<size_t>(std::count(raw, raw + available, '\n')));
        if (available < static_cast<size_t>(bytes))
            note(block.firstLine,
                 "the text ends " + std::to_string(bytes - available) + " bytes short of the vertex data");
        if (vectors < 0) vectors = 0;
        if (static_cast<size_t>(bytes) != kVectorBytes * static_cast<size_t>(vectors))
            note(block.firstLine, std::to_string(vectors) + " vectors do not take " + std::to_string(bytes) +
                                      " bytes: only whole vectors are read");
        size_t whole = std::min(static_cast<size_t>(vectors), available / kVectorBytes);
        const bool extra = whole > static_cast<size_t>(count);
        whole = std::min(whole, static_cast<size_t>(count));
        for (size_t i = 0; i < whole; ++i) {
            if (!charge(kVectorBytes)) break;
            float xyz[3];
            for (int k = 0; k < 3; ++k) xyz[k] = readLittleEndianFloat(raw + kVectorBytes * i + 4 * k);
            storeVertex(object, xyz, block);
        }
        finishVertices(object, count, block, extra);
        while (nextLine())
            if (lineHasBrace()) return;
        noteEndInside("BVertex block", firstLine);
    }

    // One face line: "k V(...) M(m) UV(...)". Quadrilaterals become the triangles (a, b, c) and (a, c, d).
    void readFaces(MqoObject& object, std::vector<int>& faceLines) {
        const int firstLine = lineNumber_;
        while (nextLine()) {
            if (lineHasBrace()) return;
            const std::string_view line = line_;
            int corners = 0;
            if (scanFormat(line, "%d", {&corners}) != 1) {
                note(lineNumber_, "a face line without a corner count is ignored");
                continue;
            }
            if (corners != 3 && corners != 4) {
                if (corners != 2)
                    note(lineNumber_, "a face with " + std::to_string(corners) + " corners is ignored");
                continue;
            }
            const size_t vAt = line.find("V(");
            int v[4] = {0, 0, 0, 0};
            if (vAt == std::string_view::npos ||
                scanFormat(line.substr(vAt), corners == 3 ? "V(%d %d %d)" : "V(%d %d %d %d)",
                           {&v[0], &v[1], &v[2], &v[3]}) != corners) {
                note(lineNumber_, "a face without its " + std::to_string(corners) + " V( indices is dropped");
                continue;
            }
            int material = 0;
            const size_t mAt = line.find("M(");
            if (mAt == std::string_view::npos)
                material = -1;
            else
                scanFormat(line.substr(mAt), "M(%d)", {&material});
            float uv[8] = {};
            const size_t uvAt = line.find("UV(");
            if (uvAt != std::string_view::npos) {
                scanFormat(line.substr(uvAt),
                           corners == 3 ? "UV(%f %f %f %f %f %f)" : "UV(%f %f %f %f %f %f %f %f)",
                           {&uv[0], &uv[1], &uv[2], &uv[3], &uv[4], &uv[5], &uv[6], &uv[7]});
            }
            const size_t triangles = corners == 4 ? 2 : 1;
            if (!charge(triangles * (sizeof(MqoFace) + sizeof(int)))) return;
            addTriangle(object, faceLines, lineNumber_, material, v, uv, 0, 1, 2);
            // The second triangle of a quadrilateral is marked by its negated line number.
            if (corners == 4) addTriangle(object, faceLines, -lineNumber_, material, v, uv, 0, 2, 3);
        }
        noteEndInside("face block", firstLine);
    }

    void addTriangle(MqoObject& object, std::vector<int>& faceLines, int line, int material, const int v[4],
                     const float uv[8], int a, int b, int c) {
        MqoFace face;
        face.material = material;
        const int corners[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            face.v[i] = v[corners[i]];
            face.uv[2 * i] = uv[2 * corners[i]];
            face.uv[2 * i + 1] = uv[2 * corners[i] + 1];
        }
        object.faces.push_back(face);
        faceLines.push_back(line);
    }

    // 4. Faces that point outside what was read -----------------------------------------------------

    // Both triangles of a quadrilateral go together. Without a material table the model draws
    // material 0 in white, so 0 stays valid there.
    void dropBrokenFaces(MqoObject& object, const std::vector<int>& faceLines) {
        const int materialCount = static_cast<int>(doc_.materials.size());
        const int materialLimit = std::max(materialCount, 1);
        std::vector<MqoFace>& faces = object.faces;
        size_t kept = 0;
        for (size_t first = 0; first < faces.size();) {
            size_t last = first + 1;
            while (last < faces.size() && faceLines[last] < 0) ++last;
            std::string problem;
            for (size_t i = first; i < last && problem.empty(); ++i) {
                for (int corner : faces[i].v)
                    if (corner < 0 || corner >= object.vertexCount) {
                        problem = "vertex index " + std::to_string(corner) + " is outside the object's " +
                                  std::to_string(object.vertexCount) + " vertices";
                        break;
                    }
                if (problem.empty() && (faces[i].material < -1 || faces[i].material >= materialLimit))
                    problem =
                        "material index " + std::to_string(faces[i].material) +
                        (materialCount > 0 ? " is outside the " + std::to_string(materialCount) + " materials"
                                           : " is neither 0 nor -1 in a document without materials");
            }
            if (problem.empty()) {
                for (size_t i = first; i < last; ++i) faces[kept++] = faces[i];
            } else {
                note(faceLines[first], "face dropped: " + problem);
            }
            first = last;
        }
        faces.resize(kept);
    }

    // Notes and limits ------------------------------------------------------------------------------

    void note(int line, const std::string& text) {
        if (doc_.skipped.size() < kMaxNotes)
            doc_.skipped.push_back("line " + std::to_string(line) + ": " + text);
        else
            ++droppedNotes_;
    }

    // Takes bytes of records from the budget; when it runs out the rest of the text is passed over.
    bool charge(size_t bytes) {
        if (bytes <= budget_) {
            budget_ -= bytes;
            return true;
        }
        // Recorded past the cap on notes: it explains why the document ends early.
        if (!exhausted_)
            doc_.skipped.push_back(
                "line " + std::to_string(lineNumber_) +
                ": the document holds more records than its size allows: the rest is ignored");
        exhausted_ = true;
        pos_ = size_;
        return false;
    }

    const char* text_;
    size_t size_;
    size_t pos_ = 0;
    std::string_view line_;
    int lineNumber_ = 0;
    int nextLineNumber_ = 1;
    bool longLine_ = false;
    VertexTransform transform_;
    float scale_;
    size_t budget_;
    bool exhausted_ = false;
    size_t droppedNotes_ = 0;
    std::vector<std::vector<int>> faceLines_;  // per object, each face's line; negated for a quad's second
    MqoDocument& doc_;
};

}  // namespace

void yUpToZUp(float* /*x*/, float* y, float* z) {
    const float up = *y;
    *y = -*z;
    *z = up;
}

MqoDocument parseDocumentText(const char* text, size_t size, const std::string& path,
                              VertexTransform transform, float scale) {
    MqoDocument doc;
    if (text == nullptr) size = 0;
    doc.directory = directoryOf(path);
    try {
        DocumentReader(text, size, transform, scale, doc).read();
    } catch (const std::bad_alloc&) {
        // The records are bounded by the text's size, but the machine may still run short.
        doc.skipped.push_back("out of memory: the rest of the document is not read");
    }
    return doc;
}

DocumentFile readDocumentFile(const std::string& path, std::string& text, std::string& why) {
    text.clear();
    why.clear();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        const int error = errno;
        why = std::strerror(error);
        return error == ENOENT || error == ENOTDIR ? DocumentFile::Missing : DocumentFile::Unreadable;
    }
    constexpr size_t kChunk = size_t{1} << 16;
    bool tooLarge = false;
    try {
        if (std::fseek(file.get(), 0, SEEK_END) == 0) {
            const long size = std::ftell(file.get());
            tooLarge = size > static_cast<long>(kMaxDocumentBytes);
            if (size > 0 && !tooLarge) text.reserve(static_cast<size_t>(size) + kChunk);
            std::rewind(file.get());
        }
        // Read to the end rather than trusting the size: the file may change, or not be a regular one.
        while (!tooLarge) {
            const size_t done = text.size();
            text.resize(done + kChunk);
            const size_t got = std::fread(&text[done], 1, kChunk, file.get());
            text.resize(done + got);
            tooLarge = text.size() > kMaxDocumentBytes;
            if (got < kChunk) break;
        }
    } catch (const std::bad_alloc&) {
        why = "out of memory";
    }
    // A directory reports a huge size too: what fread says comes first.
    char probe;
    if (why.empty() && tooLarge && text.empty() && std::fread(&probe, 1, 1, file.get()) != 1 &&
        std::ferror(file.get()))
        tooLarge = false;
    if (why.empty() && std::ferror(file.get())) why = std::strerror(errno);
    if (why.empty() && tooLarge) why = "larger than 256 MiB";
    if (why.empty()) return DocumentFile::Read;
    text.clear();
    return DocumentFile::Unreadable;
}

bool parseDocument(const std::string& path, VertexTransform transform, float scale, MqoDocument& out,
                   std::string* unreadable) {
    std::string text, why;
    const DocumentFile read = readDocumentFile(path, text, why);
    if (unreadable) *unreadable = read == DocumentFile::Unreadable ? why : "";
    if (read != DocumentFile::Read) return false;
    out = parseDocumentText(text.data(), text.size(), path, transform, scale);
    return true;
}

}  // namespace kelmo
