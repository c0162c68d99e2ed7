// Building a frame from a parsed document, without GL:
//   1. face and vertex normals
//   2. per object: corner counts per material, one batch per used material, the crease test, the box
//   3. the frame's box over its objects
#include "model/mqo_model.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace kelmo {
namespace {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

constexpr double kDegreesPerRadian = 57.295779513082321;

// Indices are checked against what the array holds, whatever the count says.
size_t vertexTotal(const MqoObject& object) { return object.vertices.size() / 3; }

bool cornersInRange(const MqoFace& face, size_t vertices) {
    for (int k = 0; k < 3; ++k)
        if (face.v[k] < 0 || static_cast<size_t>(face.v[k]) >= vertices) return false;
    return true;
}

Vec3 position(const MqoObject& object, int index) {
    const float* p = &object.vertices[static_cast<size_t>(index) * 3];
    return {p[0], p[1], p[2]};
}

// Unit normal of (P0 − P1) × (P2 − P1); false for a collinear, coincident or non-finite triangle,
// which has no direction.
bool faceNormal(const MqoObject& object, const MqoFace& face, Vec3& n) {
    const Vec3 p0 = position(object, face.v[0]);
    const Vec3 p1 = position(object, face.v[1]);
    const Vec3 p2 = position(object, face.v[2]);
    const Vec3 a{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z};
    const Vec3 b{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
    const Vec3 c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const float length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
    if (!(length > 0.0f) || !std::isfinite(length)) return false;
    n = {c.x / length, c.y / length, c.z / length};
    return true;
}

// The face normal when the corner's vertex normal lies more than the facet angle away from it.
Vec3 creasedNormal(const Vec3& n, const Vec3& vertexNormal, float facetDegrees) {
    const double cosine = n.x * vertexNormal.x + n.y * vertexNormal.y + n.z * vertexNormal.z;
    const double theta =
        std::acos(cosine) * kDegreesPerRadian;  // NaN outside [−1, 1]: keeps the vertex normal
    return facetDegrees < theta ? n : vertexNormal;
}

void extendBox(float boxMin[3], float boxMax[3], const float p[3]) {
    for (int i = 0; i < 3; ++i) {
        boxMin[i] = std::min(boxMin[i], p[i]);
        boxMax[i] = std::max(boxMax[i], p[i]);
    }
}

void resetBox(float boxMin[3], float boxMax[3], const float p[3]) {
    std::memcpy(boxMin, p, 3 * sizeof(float));
    std::memcpy(boxMax, p, 3 * sizeof(float));
}

void setBatchMaterial(MaterialBatch& batch, const MqoMaterial& material) {
    batch.hasMaterial = true;
    batch.hasTexture = material.useTexture;
    batch.texture = material.texture;
    std::memcpy(batch.colour, material.col, sizeof batch.colour);
    std::memcpy(batch.diffuse, material.dif, sizeof batch.diffuse);
    std::memcpy(batch.ambient, material.amb, sizeof batch.ambient);
    std::memcpy(batch.emission, material.emi, sizeof batch.emission);
    std::memcpy(batch.specular, material.spc, sizeof batch.specular);
    batch.shininess = material.power;
}

template <typename Vertex>
void writeCorner(Vertex& vertex, const Vec3& p, const Vec3& normal) {
    vertex.position[0] = p.x, vertex.position[1] = p.y, vertex.position[2] = p.z;
    vertex.normal[0] = normal.x, vertex.normal[1] = normal.y, vertex.normal[2] = normal.z;
}

// Fills the batch of material m from the object's triangles, in document order.
void fillBatch(MaterialBatch& batch, const MqoObject& object, int m, const std::vector<float>& normals) {
    const size_t vertices = vertexTotal(object);
    size_t out = 0;
    for (const MqoFace& face : object.faces) {
        if (face.material != m || !cornersInRange(face, vertices)) continue;
        Vec3 n;
        const bool hasDirection = faceNormal(object, face, n);
        for (int k = 0; k < 3; ++k) {
            const size_t v = static_cast<size_t>(face.v[k]);
            const Vec3 vertexNormal{normals[v * 3], normals[v * 3 + 1], normals[v * 3 + 2]};
            const Vec3 normal = hasDirection ? creasedNormal(n, vertexNormal, object.facet) : vertexNormal;
            const Vec3 p = position(object, face.v[k]);
            if (batch.hasTexture) {
                VertexPNT& vertex = batch.texturedVertices[out];
                writeCorner(vertex, p, normal);
                vertex.texcoord[0] = face.uv[2 * k];
                vertex.texcoord[1] = face.uv[2 * k + 1];
            } else {
                writeCorner(batch.plainVertices[out], p, normal);
            }
            ++out;
        }
    }
}

MeshObject buildObject(const MqoDocument& document, const MqoObject& object) {
    MeshObject mesh;
    static_assert(sizeof mesh.name == sizeof object.name, "names of the same size");
    std::memcpy(mesh.name, object.name, sizeof mesh.name);
    mesh.name[sizeof mesh.name - 1] = '\0';
    mesh.visible = object.visible != 0;
    mesh.flat = object.shading == 0;

    // Without a material table, material 0 is the one drawable material.
    const size_t materialCount = document.materials.empty() ? 1 : document.materials.size();
    const size_t vertices = vertexTotal(object);
    std::vector<size_t> corners(materialCount, 0);
    for (const MqoFace& face : object.faces)
        if (face.material >= 0 && static_cast<size_t>(face.material) < materialCount &&
            cornersInRange(face, vertices))
            corners[static_cast<size_t>(face.material)] += 3;

    const std::vector<float> normals = vertexNormals(object);
    for (size_t m = 0; m < materialCount; ++m) {
        if (corners[m] == 0 || corners[m] > static_cast<size_t>(INT_MAX)) continue;
        MaterialBatch batch;
        if (!document.materials.empty()) setBatchMaterial(batch, document.materials[m]);
        batch.vertexCount = static_cast<int>(corners[m]);
        if (batch.hasTexture)
            batch.texturedVertices.assign(corners[m], VertexPNT{});
        else
            batch.plainVertices.assign(corners[m], VertexPN{});
        fillBatch(batch, object, static_cast<int>(m), normals);

        for (int i = 0; i < batch.vertexCount; ++i) {
            const float* p =
                batch.hasTexture ? batch.texturedVertices[i].position : batch.plainVertices[i].position;
            if (mesh.batches.empty() && i == 0) resetBox(mesh.boxMin, mesh.boxMax, p);
            extendBox(mesh.boxMin, mesh.boxMax, p);
        }
        mesh.batches.push_back(std::move(batch));
    }
    return mesh;
}

}  // namespace

std::vector<float> vertexNormals(const MqoObject& object) {
    const size_t vertices = vertexTotal(object);
    std::vector<float> normals(vertices * 3, 0.0f);
    // Every triangle counts once, whatever its material; one without direction adds nothing.
    for (const MqoFace& face : object.faces) {
        Vec3 n;
        if (!cornersInRange(face, vertices) || !faceNormal(object, face, n)) continue;
        for (int k = 0; k < 3; ++k) {
            float* sum = &normals[static_cast<size_t>(face.v[k]) * 3];
            sum[0] += n.x, sum[1] += n.y, sum[2] += n.z;
        }
    }
    for (size_t v = 0; v < vertices; ++v) {
        float* sum = &normals[v * 3];
        const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
        if (length > 0.0f && std::isfinite(length)) {
            sum[0] /= length, sum[1] /= length, sum[2] /= length;
        } else {
            sum[0] = sum[1] = sum[2] = 0.0f;
        }
    }
    return normals;
}

MqoModel buildModel(const MqoDocument& document) {
    MqoModel model;
    for (const MqoObject& object : document.objects) {
        MeshObject mesh = buildObject(document, object);
        // Hidden objects count in the box like the others.
        if (model.objects.empty()) {
            resetBox(model.boxMin, model.boxMax, mesh.boxMin);
            extendBox(model.boxMin, model.boxMax, mesh.boxMax);
        } else {
            extendBox(model.boxMin, model.boxMax, mesh.boxMin);
            extendBox(model.boxMin, model.boxMax, mesh.boxMax);
        }
        model.objects.push_back(std::move(mesh));
    }
    return model;
}

size_t drawnTriangleCount(const MqoModel& model) {
    size_t triangles = 0;
    for (const MeshObject& object : model.objects)
        if (object.visible)
            for (const MaterialBatch& batch : object.batches)
                triangles += static_cast<size_t>(batch.vertexCount) / 3;
    return triangles;
}

}  // namespace kelmo
