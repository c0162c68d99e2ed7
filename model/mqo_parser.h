#pragma once
// Metasequoia (.mqo) text documents, the subset the character is drawn from: the material table and
// the objects with their vertices and triangles. A document lives only while one frame is built.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

struct MqoMaterial {
    float col[4] = {};  // r, g, b, a as read
    float dif[4] = {};  // dif·(r, g, b), a
    float amb[4] = {};
    float emi[4] = {};
    float spc[4] = {};
    float power = 0.0f;  // specular exponent
    bool useTexture = false;
    char textureName[64] = {};  // as written in the document, at most 63 characters
    char alphaName[64] = {};    // alpha-plane image, empty when none
    uint32_t texture = 0;       // GL texture name, filled when the frame is built
};

struct MqoFace {
    int material = -1;  // index into the material table, −1 when the line has no M(
    int v[3] = {};      // indices into the object's vertices
    float uv[6] = {};   // (u, v) of corners 0, 1, 2 as written
};

struct MqoObject {
    char name[256] = {};          // the token after "Object", quotes included
    int visible = 15;             // non-zero: shown
    int shading = 1;              // 0 flat, otherwise smooth
    float facet = 59.5f;          // smoothing angle, degrees
    int vertexCount = 0;          // vertices.size() / 3
    std::vector<float> vertices;  // x, y, z per vertex, after the transform and the scale
    std::vector<MqoFace> faces;   // document order; quadrilaterals as two triangles
};

// Called once per vertex with its x, y and z; may rewrite them.
using VertexTransform = void (*)(float* x, float* y, float* z);

// (x, y, z) -> (x, −z, y): the document's y-up turned into the marker's z-up.
void yUpToZUp(float* x, float* y, float* z);

// What was read, and what was left out and why (one line each, with its line number).
struct MqoDocument {
    std::vector<MqoMaterial> materials;  // empty without a Material chunk
    std::vector<MqoObject> objects;
    std::string directory;  // path up to and including its last '/' or '\', for texture files
    std::vector<std::string> skipped;
};

// Reads a document held in memory; path only gives the directory. Never fails: malformed parts are
// left out and listed in skipped.
MqoDocument parseDocumentText(const char* text, size_t size, const std::string& path,
                              VertexTransform transform, float scale);
// Larger documents are not read.
constexpr size_t kMaxDocumentBytes = size_t{256} << 20;

enum class DocumentFile {
    Read,
    Missing,     // no such file
    Unreadable,  // there, but cannot be read: a folder, no permission, a read error, over kMaxDocumentBytes
};
// The file's bytes into text (emptied unless Read); why says what went wrong otherwise.
DocumentFile readDocumentFile(const std::string& path, std::string& text, std::string& why);

// False when the file is missing or cannot be read (nothing is printed); for a file that is there but
// cannot be read, unreadable (when given) says why, and it is emptied otherwise.
bool parseDocument(const std::string& path, VertexTransform transform, float scale, MqoDocument& out,
                   std::string* unreadable = nullptr);

}  // namespace kelmo
