// Fuzzes the document parser over memory, without and with the vertex transform and a scale, and
// checks what every caller relies on: faces index read vertices and existing materials (or 0
// without a table), vertex coordinates are finite, names are terminated.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "model/mqo_parser.h"

namespace {

void checkDocument(const kelmo::MqoDocument& doc) {
    const int materialLimit = doc.materials.empty() ? 1 : static_cast<int>(doc.materials.size());
    for (const kelmo::MqoMaterial& m : doc.materials) {
        check(std::memchr(m.textureName, '\0', sizeof m.textureName) != nullptr);
        check(std::memchr(m.alphaName, '\0', sizeof m.alphaName) != nullptr);
        check(m.useTexture || (m.textureName[0] == '\0' && m.alphaName[0] == '\0'));
    }
    for (const kelmo::MqoObject& object : doc.objects) {
        check(std::memchr(object.name, '\0', sizeof object.name) != nullptr);
        check(object.vertexCount >= 0 &&
              object.vertices.size() == 3 * static_cast<size_t>(object.vertexCount));
        for (float value : object.vertices) check(std::isfinite(value));
        for (const kelmo::MqoFace& face : object.faces) {
            check(face.material >= -1 && face.material < materialLimit);
            for (int v : face.v) check(v >= 0 && v < object.vertexCount);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    checkDocument(kelmo::parseDocumentText(text, size, "models/a.mqo", nullptr, 1.0f));
    checkDocument(kelmo::parseDocumentText(text, size, "a.mqo", kelmo::yUpToZUp, 2.0f));
    return 0;
}
