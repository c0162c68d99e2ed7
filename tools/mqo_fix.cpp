// The document rewrite of kelmo-mqo --fix.
//   1. lines and the parts of a line: "name" key(args) key(args) ...
//   2. material lines: new texture names, attributes Kelmo does not read dropped to fit 255 characters
//   3. object chunks read whole: mirror settings, vertex blocks, face blocks, everything else as text
//   4. faces: polygons split, bad quadrilateral splits turned, mirrored copies
//   5. the object written back
//   6. the document
// Lines and blocks that need no change are copied byte for byte.
#include "tools/mqo_fix.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "model/mqo_scan.h"
#include "tools/polygon_split.h"

namespace kelmo {
namespace {

// ---- 1 lines and parts ------------------------------------------------------------------------------

// The reader takes at most 255 characters per read, line end included.
constexpr size_t kReaderLine = 255;
// Ear clipping takes time of the cube of the corners at worst; modellers' faces stay far below this.
constexpr int kMaxCorners = 1024;

bool contains(std::string_view line, std::string_view word) {
    return line.find(word) != std::string_view::npos;
}
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view lineEnd(std::string_view line) {
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return line.substr(line.size() - 2);
    if (!line.empty() && line.back() == '\n') return line.substr(line.size() - 1);
    return {};
}
std::string_view content(std::string_view line) { return line.substr(0, line.size() - lineEnd(line).size()); }
std::string_view indentOf(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return line.substr(0, i);
}
std::string_view trimmed(std::string_view s) {
    s = s.substr(indentOf(s).size());
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

int braceBalance(std::string_view line) {
    return static_cast<int>(std::count(line.begin(), line.end(), '{')) -
           static_cast<int>(std::count(line.begin(), line.end(), '}'));
}

class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {}
    // The next line with its line end.
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const size_t newline = text_.find('\n', pos_);
        const size_t end = newline == std::string::npos ? text_.size() : newline + 1;
        line = std::string_view(text_).substr(pos_, end - pos_);
        pos_ = end;
        ++number_;
        return true;
    }
    // Up to n raw bytes (a BVertex block's data).
    std::string_view raw(size_t n) {
        const std::string_view bytes = std::string_view(text_).substr(pos_, std::min(n, text_.size() - pos_));
        pos_ += bytes.size();
        number_ += static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
        return bytes;
    }
    int number() const { return number_; }

private:
    const std::string& text_;
    size_t pos_ = 0;
    int number_ = 0;
};

struct Part {
    std::string_view text;  // with the blanks before it
    std::string_view key;   // the word before "(", empty for a name or a bare token
    std::string_view args;  // between the parentheses
};

// "name" key(args) key (args) bare ...; quoted text inside parentheses may hold ")".
std::vector<Part> splitParts(std::string_view s) {
    std::vector<Part> parts;
    size_t i = 0;
    while (i < s.size()) {
        const size_t start = i;
        while (i < s.size() && isBlank(s[i])) ++i;
        if (i == s.size()) break;
        Part part;
        if (s[i] == '"') {
            const size_t close = s.find('"', i + 1);
            i = close == std::string_view::npos ? s.size() : close + 1;
        } else {
            size_t j = i;
            while (j < s.size() && isWordCharacter(s[j])) ++j;
            size_t open = j;
            while (open < s.size() && (s[open] == ' ' || s[open] == '\t')) ++open;
            if (j > i && open < s.size() && s[open] == '(') {
                size_t close = open + 1;
                bool quoted = false;
                while (close < s.size() && (quoted || s[close] != ')')) quoted ^= s[close++] == '"';
                part.key = s.substr(i, j - i);
                part.args = s.substr(open + 1, close - open - 1);
                i = std::min(close + 1, s.size());
            } else {
                while (i < s.size() && !isBlank(s[i])) ++i;
            }
        }
        part.text = s.substr(start, i - start);
        parts.push_back(part);
    }
    return parts;
}

std::vector<std::string> tokens(std::string_view s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        while (i < s.size() && isBlank(s[i])) ++i;
        const size_t start = i;
        while (i < s.size() && !isBlank(s[i])) ++i;
        if (i > start) out.emplace_back(s.substr(start, i - start));
    }
    return out;
}

std::string unquoted(std::string_view s) {
    s = trimmed(s);
    if (!s.empty() && s.front() == '"') s.remove_prefix(1);
    if (!s.empty() && s.back() == '"') s.remove_suffix(1);
    return std::string(s);
}

std::string materialName(const std::vector<Part>& parts) {
    return !parts.empty() && parts[0].key.empty() ? unquoted(parts[0].text) : std::string();
}

// ---- 2 material lines -------------------------------------------------------------------------------

bool readByKelmo(std::string_view key) {
    static const char* const kRead[] = {"col", "dif", "amb", "emi", "spc", "power", "tex", "aplane"};
    return std::any_of(std::begin(kRead), std::end(kRead), [key](const char* k) { return key == k; });
}

std::string fixMaterialLine(std::string_view line, int index, const std::string* newTexture, MqoFix& fix) {
    std::vector<Part> parts = splitParts(content(line));
    const std::string label = "material " + std::to_string(index) + " \"" + materialName(parts) + "\"";
    std::vector<std::string> texts;
    for (const Part& part : parts) texts.emplace_back(part.text);
    bool rebuilt = false;
    if (newTexture != nullptr) {
        for (size_t i = parts.size(); i-- > 0;) {
            if (parts[i].key == "tex") {
                texts[i] = std::string(parts[i].text.substr(0, parts[i].text.find("tex"))) + "tex(\"" +
                           *newTexture + "\")";
            } else if (parts[i].key == "aplane") {
                texts.erase(texts.begin() + static_cast<std::ptrdiff_t>(i));
                parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        rebuilt = true;
    }
    const auto length = [&] {
        size_t n = lineEnd(line).size();
        for (const std::string& t : texts) n += t.size();
        return n;
    };
    std::string dropped;
    // From the right, so the attributes the modeller lists first (shader, vertex colour) go last.
    for (size_t i = parts.size(); length() > kReaderLine && i-- > 1;) {
        if (readByKelmo(parts[i].key)) continue;
        dropped = std::string(trimmed(texts[i])) + (dropped.empty() ? "" : " ") + dropped;
        texts.erase(texts.begin() + static_cast<std::ptrdiff_t>(i));
        parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (!dropped.empty())
        fix.changes.push_back(label + ": dropped " + dropped +
                              " (not read by Kelmo) to keep the line within " + std::to_string(kReaderLine) +
                              " characters");
    if (length() > kReaderLine)
        fix.problems.push_back(label + ": the line is still " + std::to_string(length()) +
                               " characters long; Kelmo reads the rest as further materials");
    if (!rebuilt && dropped.empty()) return std::string(line);
    std::string out;
    for (const std::string& t : texts) out += t;
    return out + std::string(lineEnd(line));
}

// ---- 3 object chunks --------------------------------------------------------------------------------

using Point = std::array<float, 3>;

struct VertexBlock {
    std::string text;                // the block as written, its opening and closing lines included
    std::string indent, eol;         // of its vertex lines
    std::string open;                // its opening line's indent
    std::vector<std::string> lines;  // each vertex's line as written; empty for a binary block
    std::vector<Point> points;       // as Kelmo reads them
    std::string close;               // the closing line
};

struct Face {
    int corners = 0;
    std::vector<int> v;
    std::vector<std::string> uv, col;  // as written: two per corner, one per corner
    std::string material;              // empty when the line has no M(
};

struct FaceLine {
    std::string text;  // as written
    int number = 0;    // line number in the document
    bool valid = false;
    Face face;
};

struct FaceBlock {
    std::string open, close, indent, eol;
    std::vector<FaceLine> lines;
};

struct Segment {
    enum Kind { Text, Mirror, Vertices, Faces } kind = Text;
    std::string text;  // Text and Mirror
    size_t block = 0;  // Vertices and Faces
};

struct ObjectChunk {
    std::string name;
    std::vector<Segment> segments;
    std::vector<VertexBlock> vertexBlocks;
    std::vector<FaceBlock> faceBlocks;
    int mirror = 0;      // 0 none, 1 halves apart, 2 halves joined
    int axes = 0;        // 1 x, 2 y, 4 z
    float distance = 0;  // joining distance of mirror 2
};

bool startsWithWord(std::string_view line, std::string_view word) {
    const std::string_view t = trimmed(line);
    return t.substr(0, word.size()) == word && t.size() > word.size() && isBlank(t[word.size()]);
}

float readLittleEndianFloat(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    const uint32_t bits = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void readVertexBlock(Cursor& cursor, std::string_view first, bool binary, VertexBlock& block) {
    block.text = std::string(first);
    block.open = std::string(indentOf(first));
    block.indent = block.open + "\t";
    block.eol = std::string(lineEnd(first));
    std::string_view line;
    if (binary && cursor.next(line)) {
        block.text += line;
        const size_t at = line.find("Vector");
        if (at != std::string_view::npos) {
            int vectors = 0, bytes = 0;
            scanFormat(line.substr(at), "Vector %d [%d]", {&vectors, &bytes});
            const std::string_view raw = cursor.raw(static_cast<size_t>(std::max(bytes, 0)));
            block.text += raw;
            for (size_t i = 0; i < static_cast<size_t>(std::max(vectors, 0)) && 12 * i + 12 <= raw.size();
                 ++i)
                block.points.push_back({readLittleEndianFloat(raw.data() + 12 * i),
                                        readLittleEndianFloat(raw.data() + 12 * i + 4),
                                        readLittleEndianFloat(raw.data() + 12 * i + 8)});
        }
    }
    bool firstVertex = true;
    while (cursor.next(line)) {
        block.text += line;
        if (contains(line, "}")) {
            block.close = std::string(line);
            return;
        }
        if (binary) continue;
        if (firstVertex) block.indent = std::string(indentOf(line)), block.eol = std::string(lineEnd(line));
        firstVertex = false;
        Point p = {0, 0, 0};
        scanFormat(line, "%f %f %f", {&p[0], &p[1], &p[2]});
        block.lines.emplace_back(line);
        block.points.push_back(p);
    }
}

void readFaceBlock(Cursor& cursor, std::string_view first, FaceBlock& block) {
    block.open = std::string(first);
    block.indent = std::string(indentOf(first)) + "\t";
    block.eol = std::string(lineEnd(first));
    std::string_view line;
    bool firstFace = true;
    while (cursor.next(line)) {
        if (contains(line, "}")) {
            block.close = std::string(line);
            return;
        }
        if (firstFace) block.indent = std::string(indentOf(line)), block.eol = std::string(lineEnd(line));
        firstFace = false;
        FaceLine face;
        face.text = std::string(line);
        face.number = cursor.number();
        block.lines.push_back(std::move(face));
    }
}

// The rest of a sub-chunk this line opens, as text.
std::string skipChunk(Cursor& cursor, std::string_view first) {
    std::string text(first);
    int depth = braceBalance(first);
    std::string_view line;
    while (depth > 0 && cursor.next(line)) {
        text += line;
        depth += braceBalance(line);
    }
    return text;
}

ObjectChunk readObject(Cursor& cursor, std::string_view first) {
    ObjectChunk object;
    const std::vector<std::string> words = tokens(content(first));
    object.name = words.size() > 1 ? words[1] : "";
    object.segments.push_back({Segment::Text, std::string(first)});
    std::string_view line;
    while (cursor.next(line)) {
        if (startsWithWord(line, "mirror")) {
            scanFormat(line, " mirror %d", {&object.mirror});
            object.segments.push_back({Segment::Mirror, std::string(line)});
        } else if (startsWithWord(line, "mirror_axis")) {
            scanFormat(line, " mirror_axis %d", {&object.axes});
            object.segments.push_back({Segment::Mirror, std::string(line)});
        } else if (startsWithWord(line, "mirror_dis")) {
            scanFormat(line, " mirror_dis %f", {&object.distance});
            object.segments.push_back({Segment::Mirror, std::string(line)});
        } else if (contains(line, "vertex ") || contains(line, "BVertex")) {
            object.vertexBlocks.emplace_back();
            readVertexBlock(cursor, line, !contains(line, "vertex "), object.vertexBlocks.back());
            object.segments.push_back({Segment::Vertices, "", object.vertexBlocks.size() - 1});
        } else if (contains(line, "face ")) {
            object.faceBlocks.emplace_back();
            readFaceBlock(cursor, line, object.faceBlocks.back());
            object.segments.push_back({Segment::Faces, "", object.faceBlocks.size() - 1});
        } else if (braceBalance(line) > 0) {
            object.segments.push_back({Segment::Text, skipChunk(cursor, line)});
        } else {
            object.segments.push_back({Segment::Text, std::string(line)});
            if (contains(line, "}")) break;
        }
    }
    return object;
}

// ---- 4 faces ----------------------------------------------------------------------------------------

bool readInt(const std::string& token, int& out) {
    const char* end = token.data() + token.size();
    const auto result = std::from_chars(token.data(), end, out);
    return result.ec == std::errc() && result.ptr == end;
}

// False when the face cannot be drawn as read: indices that do not read or lie outside the vertices,
// or UVs and colours that do not come one set per corner.
bool parseFace(std::string_view line, int vertexCount, Face& face) {
    const std::vector<Part> parts = splitParts(content(line));
    if (parts.empty() || !readInt(std::string(trimmed(parts[0].text)), face.corners)) return false;
    std::vector<std::string> v;
    for (const Part& part : parts) {
        if (part.key == "V") v = tokens(part.args);
        if (part.key == "M") face.material = std::string(trimmed(part.args));
        if (part.key == "UV") face.uv = tokens(part.args);
        if (part.key == "COL") face.col = tokens(part.args);
    }
    const size_t k = static_cast<size_t>(std::max(face.corners, 0));
    if (k < 2 || v.size() != k || (!face.uv.empty() && face.uv.size() != 2 * k) ||
        (!face.col.empty() && face.col.size() != k))
        return false;
    for (const std::string& token : v) {
        int index = 0;
        if (!readInt(token, index) || index < 0 || index >= vertexCount) return false;
        face.v.push_back(index);
    }
    return true;
}

// The face made of the given corners of f, in that order.
Face pick(const Face& f, const std::vector<int>& corners) {
    Face out;
    out.corners = static_cast<int>(corners.size());
    out.material = f.material;
    for (int c : corners) {
        const size_t i = static_cast<size_t>(c);
        out.v.push_back(f.v[i]);
        if (!f.uv.empty()) out.uv.insert(out.uv.end(), {f.uv[2 * i], f.uv[2 * i + 1]});
        if (!f.col.empty()) out.col.push_back(f.col[i]);
    }
    return out;
}

std::string faceText(const Face& f, const std::string& indent, const std::string& eol) {
    const auto join = [](const auto& items) {
        std::string s;
        for (const auto& item : items) {
            if (!s.empty()) s += ' ';
            if constexpr (std::is_same_v<std::decay_t<decltype(item)>, int>)
                s += std::to_string(item);
            else
                s += item;
        }
        return s;
    };
    std::string text = indent + std::to_string(f.corners) + " V(" + join(f.v) + ")";
    if (!f.material.empty()) text += " M(" + f.material + ")";
    if (!f.uv.empty()) text += " UV(" + join(f.uv) + ")";
    if (!f.col.empty()) text += " COL(" + join(f.col) + ")";
    return text + eol;
}

std::vector<Point3> cornersOf(const Face& f, const std::vector<Point>& points) {
    std::vector<Point3> corners;
    for (int v : f.v) {
        const Point& p = points[static_cast<size_t>(v)];
        corners.push_back({p[0], p[1], p[2]});
    }
    return corners;
}

// A face as it leaves the fix: written as read, or made anew.
struct OutFace {
    bool asRead = true;
    std::string text;  // when asRead
    bool valid = false;
    Face face;
};

struct FaceCounts {
    int polygons = 0, polygonTriangles = 0, turnedQuads = 0;
};

std::vector<OutFace> splitFaces(FaceBlock& block, const std::vector<Point>& points, const std::string& object,
                                FaceCounts& counts, MqoFix& fix) {
    std::vector<OutFace> out;
    for (FaceLine& line : block.lines) {
        line.valid = parseFace(line.text, static_cast<int>(points.size()), line.face);
        const Face& f = line.face;
        if (f.corners > 4 && (!line.valid || f.corners > kMaxCorners)) {
            fix.problems.push_back("object " + object + " line " + std::to_string(line.number) +
                                   ": a face of " + std::to_string(f.corners) + " corners" +
                                   (line.valid ? " (more than " + std::to_string(kMaxCorners) + ")"
                                               : " whose indices, UVs or colours do not read") +
                                   " is left as it is");
        } else if (f.corners > 4) {
            ++counts.polygons;
            for (const CornerTriangle& t : splitPolygon(cornersOf(f, points))) {
                out.push_back({false, "", true, pick(f, {t[0], t[1], t[2]})});
                ++counts.polygonTriangles;
            }
            continue;
        } else if (f.corners == 4 && line.valid && quadSplitFallsOutside(cornersOf(f, points))) {
            // Starting one corner later, Kelmo splits along the other diagonal.
            ++counts.turnedQuads;
            out.push_back({false, "", true, pick(f, {1, 2, 3, 0})});
            continue;
        }
        out.push_back({true, line.text, line.valid, line.face});
    }
    return out;
}

// ---- 5 the object written back ------------------------------------------------------------------

std::string numberText(float value) {
    if (value == 0) value = 0;  // no "-0"
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

struct Mirroring {
    int axes = 0;
    int welded = 0;
    size_t addedVertices = 0, addedFaces = 0;
};

// Each axis in turn doubles what is there: the copy of every vertex (a vertex within the joining
// distance of the plane, for joined halves, is moved onto it and shared instead) and of every face
// with its corners in reverse order, so the copy faces outwards too.
Mirroring mirror(const ObjectChunk& object, std::vector<Point>& points, std::vector<bool>& rewritten,
                 std::vector<OutFace>& faces) {
    Mirroring m;
    m.axes = object.axes & 7;
    const bool joined = object.mirror == 2;
    const size_t firstPoints = points.size(), firstFaces = faces.size();
    for (int axis = 0; axis < 3; ++axis) {
        if ((m.axes & (1 << axis)) == 0) continue;
        const size_t count = points.size();
        std::vector<int> to(count);
        for (size_t i = 0; i < count; ++i) {
            if (joined && std::fabs(points[i][static_cast<size_t>(axis)]) <= object.distance) {
                if (points[i][static_cast<size_t>(axis)] != 0) {
                    points[i][static_cast<size_t>(axis)] = 0;
                    rewritten[i] = true;
                }
                to[i] = static_cast<int>(i);
                ++m.welded;
                continue;
            }
            to[i] = static_cast<int>(points.size());
            Point copy = points[i];
            copy[static_cast<size_t>(axis)] = -copy[static_cast<size_t>(axis)];
            points.push_back(copy);
            rewritten.push_back(true);
        }
        const size_t faceCount = faces.size();
        for (size_t i = 0; i < faceCount; ++i) {
            if (!faces[i].valid) continue;
            const Face& f = faces[i].face;
            std::vector<int> reversed = {0};
            for (int c = f.corners - 1; c > 0; --c) reversed.push_back(c);
            Face copy = pick(f, reversed);
            bool onPlane = true;
            for (int& v : copy.v) {
                onPlane = onPlane && to[static_cast<size_t>(v)] == v;
                v = to[static_cast<size_t>(v)];
            }
            // A face lying in the plane is its own mirror image.
            if (!onPlane) faces.push_back({false, "", true, copy});
        }
    }
    m.addedVertices = points.size() - firstPoints;
    m.addedFaces = faces.size() - firstFaces;
    return m;
}

std::string replaceCount(const std::string& open, const char* keyword, size_t count) {
    const size_t at = open.find(keyword);
    if (at == std::string::npos) return open;
    size_t start = at + std::strlen(keyword);
    while (start < open.size() && isBlank(open[start])) ++start;
    size_t end = start;
    while (end < open.size() && (isWordCharacter(open[end]) || open[end] == '-')) ++end;
    return open.substr(0, start) + std::to_string(count) + open.substr(end);
}

std::string axesText(int axes) {
    std::string text;
    for (int axis = 0; axis < 3; ++axis)
        if (axes & (1 << axis)) text += std::string(text.empty() ? "" : " and ") + "xyz"[axis];
    return text;
}

std::string writeObject(ObjectChunk& object, MqoFix& fix) {
    VertexBlock empty;
    VertexBlock& vertices = object.vertexBlocks.empty() ? empty : object.vertexBlocks.back();
    std::vector<Point> points = vertices.points;
    FaceCounts counts;
    std::vector<std::vector<OutFace>> faces;
    for (FaceBlock& block : object.faceBlocks)
        faces.push_back(splitFaces(block, points, object.name, counts, fix));

    const bool mirrored = object.mirror != 0 && (object.axes & 7) != 0 && !object.vertexBlocks.empty() &&
                          !object.faceBlocks.empty();
    std::vector<bool> rewritten(points.size(), vertices.lines.empty());
    Mirroring mirroring;
    if (mirrored) {
        // The copies go with the last face block, where the modeller would add faces.
        std::vector<OutFace> all;
        for (auto& list : faces) all.insert(all.end(), list.begin(), list.end());
        const size_t before = all.size();
        mirroring = mirror(object, points, rewritten, all);
        faces.back().insert(faces.back().end(), all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    const std::string label = "object " + object.name;
    if (counts.polygons > 0)
        fix.changes.push_back(label + ": " + std::to_string(counts.polygons) +
                              " face(s) of more than four corners split into " +
                              std::to_string(counts.polygonTriangles) + " triangles");
    if (counts.turnedQuads > 0)
        fix.changes.push_back(label + ": " + std::to_string(counts.turnedQuads) +
                              " concave quadrilateral(s) turned so that Kelmo splits them inside");
    if (mirrored) {
        std::string how = object.mirror == 2
                              ? "halves joined, " + std::to_string(mirroring.welded) + " vertices within " +
                                    numberText(object.distance) + " of the plane moved onto it and shared"
                              : "halves apart";
        if (vertices.lines.empty()) how += ", binary vertices written as text";
        fix.changes.push_back(label + ": mirrored across " + axesText(mirroring.axes) + " (" + how +
                              "): " + std::to_string(mirroring.addedVertices) + " vertices and " +
                              std::to_string(mirroring.addedFaces) + " faces added");
    }

    std::string out;
    for (const Segment& segment : object.segments) {
        if (segment.kind == Segment::Text || (segment.kind == Segment::Mirror && !mirrored)) {
            out += segment.text;
        } else if (segment.kind == Segment::Vertices) {
            const VertexBlock& block = object.vertexBlocks[segment.block];
            if (&block != &vertices || !mirrored) {
                out += block.text;
                continue;
            }
            out += block.open + "vertex " + std::to_string(points.size()) + " {" + block.eol;
            for (size_t i = 0; i < points.size(); ++i)
                out += rewritten[i]
                           ? block.indent + numberText(points[i][0]) + " " + numberText(points[i][1]) + " " +
                                 numberText(points[i][2]) + block.eol
                           : block.lines[i];
            out += block.close.empty() ? block.open + "}" + block.eol : block.close;
        } else if (segment.kind == Segment::Faces) {
            const FaceBlock& block = object.faceBlocks[segment.block];
            const std::vector<OutFace>& list = faces[segment.block];
            out += list.size() == block.lines.size() ? block.open
                                                     : replaceCount(block.open, "face", list.size());
            for (const OutFace& face : list)
                out += face.asRead ? face.text : faceText(face.face, block.indent, block.eol);
            out += block.close;
        }
    }
    return out;
}

// ---- 6 the document ---------------------------------------------------------------------------------

bool opensMaterialChunk(std::string_view line) {
    int count = 0;
    return contains(line, "Material") && contains(line, "{") &&
           scanFormat(trimmed(line), "Material %d", {&count}) == 1;
}

}  // namespace

std::vector<MaterialTexture> materialTextures(const std::string& document) {
    std::vector<MaterialTexture> textures;
    Cursor cursor(document);
    std::string_view line;
    while (cursor.next(line) && !opensMaterialChunk(line)) {
    }
    for (int index = 0; cursor.next(line) && !contains(line, "}"); ++index) {
        const std::vector<Part> parts = splitParts(content(line));
        MaterialTexture texture;
        texture.material = index;
        texture.name = materialName(parts);
        for (const Part& part : parts) {
            if (part.key == "tex") texture.texture = unquoted(part.args);
            if (part.key == "aplane") texture.alpha = unquoted(part.args);
        }
        if (!texture.texture.empty()) textures.push_back(texture);
    }
    return textures;
}

MqoFix fixDocument(const std::string& document, const std::map<int, std::string>& newTextures) {
    MqoFix fix;
    Cursor cursor(document);
    std::string_view line;
    bool materialsSeen = false;
    while (cursor.next(line)) {
        if (!materialsSeen && opensMaterialChunk(line)) {
            materialsSeen = true;
            fix.text += line;
            for (int index = 0; cursor.next(line); ++index) {
                if (contains(line, "}")) {
                    fix.text += line;
                    break;
                }
                const auto renamed = newTextures.find(index);
                fix.text += fixMaterialLine(line, index,
                                            renamed == newTextures.end() ? nullptr : &renamed->second, fix);
            }
        } else if (contains(line, "Object")) {
            ObjectChunk object = readObject(cursor, line);
            fix.text += writeObject(object, fix);
        } else {
            fix.text += line;
        }
    }
    return fix;
}

}  // namespace kelmo
