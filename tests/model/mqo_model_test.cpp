// Frames built from document records: normals and the crease test, batches per material, boxes, and
// the boxes of a sequence. No GL.
#include "model/mqo_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/mqo_sequence.h"
#include "tests/model/mqo_records.h"

namespace kelmo {
namespace {

using namespace testing_support;

struct V3 {
    float x, y, z;
};

V3 normalAt(const MaterialBatch& batch, int i) {
    const float* n = batch.hasTexture ? batch.texturedVertices[i].normal : batch.plainVertices[i].normal;
    return {n[0], n[1], n[2]};
}

void expectNear(const V3& actual, const V3& expected, const std::string& where) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5) << where;
    EXPECT_NEAR(actual.y, expected.y, 1e-5) << where;
    EXPECT_NEAR(actual.z, expected.z, 1e-5) << where;
}

MqoDocument document(std::initializer_list<MqoObject> objects,
                     std::initializer_list<MqoMaterial> materials = {}) {
    MqoDocument d;
    d.objects = objects;
    d.materials = materials;
    return d;
}

// Three faces at the origin: a quadrilateral facing +z whose first corner it is (so it counts twice
// there), a triangle facing +x and one facing +y: weights 2, 1, 1.
MqoObject corner(float facet) {
    MqoObject o = mqoObject({0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0, 1});
    o.facet = facet;
    addQuad(o, 0, 1, 2, 3);
    addTriangle(o, 0, 4, 1);
    addTriangle(o, 0, 3, 4);
    return o;
}

TEST(BuildModel, CubeIsTwelveTrianglesAndFacet0Or180PicksFaceOrVertexNormals) {
    const V3 axes[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (float facet : {0.0f, 180.0f}) {
        MqoObject o = cube(1, 1, 1);
        o.facet = facet;
        const std::vector<float> normals = vertexNormals(o);
        const MqoModel model = buildModel(document({o}, {mqoMaterial(1, 0, 0), mqoMaterial(0, 1, 0)}));
        ASSERT_EQ(model.objects[0].batches.size(), 1u);
        const MaterialBatch& batch = model.objects[0].batches[0];
        ASSERT_EQ(batch.vertexCount, 36);
        EXPECT_EQ(batch.colour[1], 1.0f);
        for (int i = 0; i < 36; ++i) {
            const int v = o.faces[i / 3].v[i % 3];
            const V3 vertexNormal{normals[v * 3], normals[v * 3 + 1], normals[v * 3 + 2]};
            expectNear(normalAt(batch, i), facet == 0 ? axes[i / 6] : vertexNormal,
                       "corner " + std::to_string(i));
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(model.objects[0].boxMin[i], -1.0f);
            EXPECT_EQ(model.boxMax[i], 1.0f);
        }
    }
}

TEST(BuildModel, Facet59_5KeepsTheVertexNormalWhereItLiesCloser) {
    const std::vector<float> normals = vertexNormals(corner(59.5f));
    const float s = 1 / std::sqrt(6.0f);
    const V3 n0{normals[0], normals[1], normals[2]};
    expectNear(n0, {s, s, 2 * s}, "vertex normal");
    EXPECT_NEAR(std::acos(n0.z) * 57.2957795, 35.26, 0.01);
    EXPECT_NEAR(std::acos(n0.x) * 57.2957795, 65.91, 0.01);
    // The origin is corner 0 of all four triangles.
    const MqoModel model = buildModel(document({corner(59.5f)}));
    const MaterialBatch& batch = model.objects[0].batches[0];
    expectNear(normalAt(batch, 0), n0, "quadrilateral");
    expectNear(normalAt(batch, 3), n0, "quadrilateral");
    expectNear(normalAt(batch, 6), {1, 0, 0}, "+x");
    expectNear(normalAt(batch, 9), {0, 1, 0}, "+y");
    expectNear(normalAt(buildModel(document({corner(66.0f)})).objects[0].batches[0], 6), n0, "facet 66");
}

TEST(BuildModel, DegenerateTrianglesAndBadIndicesAddNoDirection) {
    MqoObject o = mqoObject({0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0});
    o.facet = 0;  // a zero face normal would win every crease test if it took part
    addTriangle(o, 0, 1, 2);
    addTriangle(o, 0, 2, 3);  // collinear, shares vertices 0 and 2 with the first
    addTriangle(o, 3, 4, 3);
    addTriangle(o, 0, 1, 9);   // past the vertices
    addTriangle(o, -1, 1, 2);  // negative
    const MqoModel model = buildModel(document({o}));
    const MaterialBatch& batch = model.objects[0].batches[0];
    ASSERT_EQ(batch.vertexCount, 9);
    expectNear(normalAt(batch, 0), {0, 0, 1}, "proper triangle");
    expectNear(normalAt(batch, 3), {0, 0, 1}, "vertex normal of 0");
    expectNear(normalAt(batch, 5), {0, 0, 0}, "vertex 3 has no direction");
    expectNear(normalAt(batch, 7), {0, 0, 0}, "vertex 4 has no direction");
}

TEST(BuildModel, OneBatchPerUsedMaterialAscendingInDocumentOrder) {
    MqoObject o = mqoObject({0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 9, 9, 9});
    addTriangle(o, 0, 1, 2, 3, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 1.5f});
    addTriangle(o, 2, 1, 3, 1);
    addTriangle(o, 1, 3, 2, 3);
    addTriangle(o, 4, 4, 0, -1);  // never drawn, not even in the box
    addTriangle(o, 0, 1, 2, 4);   // past the table
    o.shading = 0;
    MqoObject hidden = square(-5, 3, -4, 8, 0, 3);
    hidden.visible = 0;
    MqoMaterial textured = mqoMaterial(0.5f, 0.5f, 0.5f, true);
    textured.texture = 42;
    const MqoModel model = buildModel(
        document({o, hidden}, {mqoMaterial(1, 0, 0), mqoMaterial(0, 1, 0), mqoMaterial(0, 0, 1), textured}));
    const MeshObject& mesh = model.objects[0];
    ASSERT_EQ(mesh.batches.size(), 2u);
    EXPECT_TRUE(mesh.flat && mesh.visible && !model.objects[1].visible && !model.objects[1].flat);
    const MaterialBatch& first = mesh.batches[0];
    EXPECT_TRUE(first.hasMaterial && !first.hasTexture);
    EXPECT_EQ(first.vertexCount, 3);
    EXPECT_FLOAT_EQ(first.diffuse[1], 0.8f);
    EXPECT_EQ(first.plainVertices[0].position[0], 1.0f);  // vertex 2
    const MaterialBatch& last = mesh.batches[1];
    ASSERT_EQ(last.texturedVertices.size(), 6u);
    EXPECT_TRUE(last.plainVertices.empty());
    EXPECT_EQ(last.texture, 42u);
    EXPECT_EQ(last.texturedVertices[1].texcoord[0], 0.3f);
    EXPECT_EQ(last.texturedVertices[2].texcoord[1], 1.5f);
    EXPECT_EQ(last.texturedVertices[3].position[1], 1.0f);  // the third triangle's vertex 1
    EXPECT_EQ(mesh.boxMax[2], 0.0f);
    const float boxMin[3] = {-5, 0, 0}, boxMax[3] = {1, 8, 3};  // hidden objects count
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model.boxMin[i], boxMin[i]);
        EXPECT_EQ(model.boxMax[i], boxMax[i]);
    }
}

TEST(BuildModel, WithoutMaterialTableOnlyMaterialZeroIsDrawnInWhite) {
    MqoObject o = mqoObject({0, 0, 0, 0, 1, 0, 1, 0, 0});
    addTriangle(o, 0, 1, 2, 0);
    addTriangle(o, 0, 1, 2, 1);
    addTriangle(o, 0, 1, 2, -1);
    const MqoModel model = buildModel(document({o, mqoObject({})}));
    const MaterialBatch& batch = model.objects[0].batches.at(0);
    EXPECT_EQ(model.objects[0].batches.size(), 1u);
    EXPECT_TRUE(model.objects[1].batches.empty());
    EXPECT_EQ(batch.vertexCount, 3);
    EXPECT_FALSE(batch.hasMaterial || batch.hasTexture);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(batch.colour[i], 1.0f);
        EXPECT_EQ(batch.diffuse[i], 0.0f);
    }
}

MqoModel boxFrame(float low0, float low1, float low2, float high0, float high1, float high2) {
    MqoModel frame;
    frame.boxMin[0] = low0, frame.boxMin[1] = low1, frame.boxMin[2] = low2;
    frame.boxMax[0] = high0, frame.boxMax[1] = high1, frame.boxMax[2] = high2;
    return frame;
}

TEST(Sequence, BoundsAreTheFrameBoxesAndTheirUnion) {
    MqoSequence sequence;
    float out[3] = {42, 42, 42};
    sequence.append(boxFrame(1, 2, 3, 4, 5, 6));
    ASSERT_TRUE(sequence.boundsMin(-1, out));
    EXPECT_EQ(out[0], 1.0f);  // the first frame's box, not a union with zero
    sequence.append(boxFrame(0, 3, 2, 5, 4, 7));
    sequence.append(boxFrame(2, 1, 4, 3, 9, 5));
    ASSERT_TRUE(sequence.boundsMin(-1, out) && out[0] == 0 && out[1] == 1 && out[2] == 2);
    ASSERT_TRUE(sequence.boundsMax(-5, out) && out[0] == 5 && out[1] == 9 && out[2] == 7);
    ASSERT_TRUE(sequence.boundsMin(1, out) && out[0] == 0 && out[1] == 3 && out[2] == 2);
    ASSERT_TRUE(sequence.boundsMax(2, out) && out[0] == 3 && out[1] == 9 && out[2] == 5);
    EXPECT_FALSE(sequence.boundsMin(3, out) || sequence.boundsMax(3, out));
    EXPECT_EQ(out[0], 3.0f);
    EXPECT_EQ(sequence.drawFrame(3, 255), 3u);  // past the end: no GL call, so no context needed
}

}  // namespace
}  // namespace kelmo
