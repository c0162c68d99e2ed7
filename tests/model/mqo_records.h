#pragma once
// Document records built in code, for the frame-building and drawing tests.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "model/mqo_parser.h"

namespace kelmo::testing_support {

inline MqoObject mqoObject(std::initializer_list<float> xyz) {
    MqoObject o;
    std::strcpy(o.name, "\"obj\"");
    o.vertices = xyz;
    o.vertexCount = static_cast<int>(xyz.size() / 3);
    return o;
}

inline void addTriangle(MqoObject& o, int a, int b, int c, int material = 0,
                        std::initializer_list<float> uv = {}) {
    MqoFace f;
    f.material = material;
    f.v[0] = a, f.v[1] = b, f.v[2] = c;
    if (uv.size() == 6) std::copy(uv.begin(), uv.end(), f.uv);
    o.faces.push_back(f);
}

// As the document stores a quadrilateral: (a, b, c) and (a, c, d), with (u, v) (0,1) (0,0) (1,0) (1,1).
inline void addQuad(MqoObject& o, int a, int b, int c, int d, int material = 0) {
    addTriangle(o, a, b, c, material, {0, 1, 0, 0, 1, 0});
    addTriangle(o, a, c, d, material, {0, 1, 1, 0, 1, 1});
}

inline MqoMaterial mqoMaterial(float r, float g, float b, bool textured = false) {
    MqoMaterial m;
    const float col[4] = {r, g, b, 1};
    std::memcpy(m.col, col, sizeof col);
    for (int i = 0; i < 3; ++i) m.dif[i] = 0.8f * col[i], m.amb[i] = 0.6f * col[i];
    m.dif[3] = m.amb[3] = m.emi[3] = m.spc[3] = 1;
    m.power = 5;
    m.useTexture = textured;
    return m;
}

// Edge 2 around the origin; corners clockwise seen from outside, as Metasequoia writes them.
inline MqoObject cube(int front = 0, int back = 0, int sides = 0) {
    MqoObject o =
        mqoObject({-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1, -1, -1, 1, 1, -1, 1, 1, 1, 1, -1, 1, 1});
    addQuad(o, 7, 6, 5, 4, front);  // +z
    addQuad(o, 2, 3, 0, 1, back);   // −z
    addQuad(o, 6, 2, 1, 5, sides);  // +x, −x, +y, −y
    addQuad(o, 3, 7, 4, 0, sides);
    addQuad(o, 3, 2, 6, 7, sides);
    addQuad(o, 4, 5, 1, 0, sides);
    return o;
}

// The square (x0, y0)–(x1, y1) in the plane z, texture coordinate (0, 0) at its lower left.
inline MqoObject square(float x0, float y0, float x1, float y1, int material, float z = 0) {
    MqoObject o = mqoObject({x0, y1, z, x0, y0, z, x1, y0, z, x1, y1, z});
    addQuad(o, 0, 1, 2, 3, material);
    return o;
}

}  // namespace kelmo::testing_support
