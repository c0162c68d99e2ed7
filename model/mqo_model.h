#pragma once
// Drawable frames built from parsed documents: per object, one triangle batch per material with
// interleaved vertices and smoothed normals, optionally in a static vertex buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gl/buffer_name.h"
#include "model/mqo_parser.h"

namespace kelmo {

struct VertexPN {
    float position[3];
    float normal[3];
};
struct VertexPNT {
    float position[3];
    float normal[3];
    float texcoord[2];
};
static_assert(sizeof(VertexPN) == 24 && sizeof(VertexPNT) == 32, "interleaved layouts");

// Owns its vertex buffer, so it moves but never copies.
struct MaterialBatch {
    bool hasMaterial = false;
    bool hasTexture = false;
    uint32_t texture = 0;  // from the pool; not owned
    BufferName buffer;     // none unless uploaded; deleted with the batch (needs the GL context)
    int vertexCount = 0;   // 3 × triangles, > 0
    float colour[4] = {1, 1, 1, 1};
    float diffuse[4] = {}, ambient[4] = {}, emission[4] = {}, specular[4] = {};
    float shininess = 0.0f;
    std::vector<VertexPN> plainVertices;      // when !hasTexture
    std::vector<VertexPNT> texturedVertices;  // when hasTexture
};

struct MeshObject {
    char name[256] = {};
    bool visible = true;
    bool flat = false;
    float boxMin[3] = {}, boxMax[3] = {};
    std::vector<MaterialBatch> batches;  // ascending material index
};

struct MqoModel {
    float boxMin[3] = {}, boxMax[3] = {};
    std::vector<MeshObject> objects;
};

// Unit vertex normals of an object: the sum of the unit normals of its triangles at each vertex.
std::vector<float> vertexNormals(const MqoObject& object);
// One frame from a document whose material textures are already resolved; no GL calls.
MqoModel buildModel(const MqoDocument& document);
// The triangles drawFrame draws: those in the batches of visible objects.
size_t drawnTriangleCount(const MqoModel& model);

}  // namespace kelmo
