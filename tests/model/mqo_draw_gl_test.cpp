// Drawing frames against the real GL driver (under Xvfb): the caller's state survives, opacity
// reaches the materials only, and the pixels come from the batches, from client arrays or buffers.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gl/entry_points.h"
#include "model/mqo_sequence.h"
#include "tests/model/mqo_gl_window.h"
#include "tests/model/mqo_records.h"

namespace kelmo {
namespace {

using namespace testing_support;

std::unique_ptr<MqoSequence> sequenceOf(const MqoDocument& document) {
    auto sequence = std::make_unique<MqoSequence>();
    sequence->append(buildModel(document));
    return sequence;
}

MqoDocument documentOf(std::vector<MqoMaterial> materials, std::vector<MqoObject> objects) {
    MqoDocument d;
    d.materials = std::move(materials);
    d.objects = std::move(objects);
    return d;
}

// Within 1 of r, g, b at pixel (x, y).
::testing::AssertionResult colourAt(int x, int y, int r, int g, int b) {
    const std::vector<int> p = pixels(x, y, 1, 1);
    if (std::abs(p[0] - r) <= 1 && std::abs(p[1] - g) <= 1 && std::abs(p[2] - b) <= 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << ", " << y << ") is " << p[0] << " " << p[1] << " " << p[2];
}

// 2 × 2 texels, nearest: red, green (bottom row), blue, white.
GLuint quadrantTexture() {
    const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    return nearestTexture(2, 2, texels);
}

// A textured square, then a flat plain one (so the last batch switches texturing off), then a hidden one.
MqoDocument mixedDocument(GLuint texture) {
    MqoDocument d = documentOf(
        {mqoMaterial(1, 0, 0), mqoMaterial(1, 1, 1, true)},
        {square(0, -0.5f, 0.5f, 0.5f, 1), square(-0.5f, -0.5f, 0, 0.5f, 0), square(-1, -1, 1, 1, 0, 0.5f)});
    d.materials[1].texture = texture;
    d.objects[1].shading = 0;
    d.objects[2].visible = 0;
    return d;
}

std::map<std::string, std::vector<float>> snapshot() {
    std::map<std::string, std::vector<float>> s;
    for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_TEXTURE_2D, GL_BLEND, GL_LIGHTING, GL_COLOR_MATERIAL,
                       GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_TEXTURE_COORD_ARRAY})
        s["enabled " + std::to_string(cap)] = {static_cast<float>(glIsEnabled(cap))};
    for (GLenum what :
         {GL_FRONT_FACE, GL_SHADE_MODEL, GL_TEXTURE_BINDING_2D, GL_BLEND_SRC, GL_BLEND_DST, GL_MATRIX_MODE,
          GL_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_STRIDE,
          GL_MODELVIEW_STACK_DEPTH, GL_CLIENT_ATTRIB_STACK_DEPTH, GL_CURRENT_COLOR, GL_CURRENT_NORMAL,
          GL_CURRENT_TEXTURE_COORDS, GL_MODELVIEW_MATRIX}) {
        std::vector<float> values(16);
        glGetFloatv(what, values.data());
        s["value " + std::to_string(what)] = values;
    }
    GLvoid* pointer = nullptr;
    glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    s["vertex pointer"] = {static_cast<float>(reinterpret_cast<uintptr_t>(pointer))};
    for (GLenum face : {GL_FRONT, GL_BACK})
        for (GLenum what : {GL_DIFFUSE, GL_AMBIENT, GL_SPECULAR, GL_EMISSION, GL_SHININESS}) {
            std::vector<float> values(4);
            glGetMaterialfv(face, what, values.data());
            s["material " + std::to_string(face) + " " + std::to_string(what)] = values;
        }
    return s;
}

void setMaterial(GLenum face, float base) {
    for (GLenum what : {GL_DIFFUSE, GL_AMBIENT, GL_SPECULAR, GL_EMISSION}) {
        const GLfloat value[4] = {base, base + 0.1f, base + 0.2f, base + 0.3f};
        glMaterialfv(face, what, value);
        base += 0.05f;
    }
    glMaterialf(face, GL_SHININESS, base * 10);
}

class DrawFrame : public testing::Test {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kGlWindowSize);
        glPushAttrib(GL_ALL_ATTRIB_BITS);  // cases may share one process
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        resetView();
        texture_ = quadrantTexture();
        ASSERT_TRUE(fetchEntryPoints(ExtensionFamily::vertexBuffers));
    }
    void TearDown() override {
        if (!glWindowReady(kGlWindowSize, kGlWindowSize)) return;
        glDeleteTextures(1, &texture_);
        glPopClientAttrib();
        glPopAttrib();
    }
    GLuint texture_ = 0;
};

TEST_F(DrawFrame, EveryStateItChangesIsAsBefore) {
    const auto sequence = sequenceOf(mixedDocument(texture_));
    GLuint bound = 0;
    glGenTextures(1, &bound);
    glBindTexture(GL_TEXTURE_2D, bound);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    setMaterial(GL_FRONT_AND_BACK, 0.1f);
    glColor4f(0.25f, 0.5f, 0.75f, 1);
    auto before = snapshot();  // the documented case: tests off, counter-clockwise, smooth
    EXPECT_EQ(sequence->drawFrame(0, 255), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(colourAt(24, 32, 255, 0, 0));
    EXPECT_TRUE(colourAt(36, 20, 255, 0, 0));  // texels: red lower left, white upper right
    EXPECT_TRUE(colourAt(44, 44, 255, 255, 255));

    // Everything on, a caller's vertex array in its own buffer, another matrix mode, a back material
    // of its own and the front emission tracking the colour.
    for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_TEXTURE_2D, GL_BLEND, GL_LIGHTING}) glEnable(cap);
    glFrontFace(GL_CW);
    glShadeModel(GL_FLAT);
    setMaterial(GL_BACK, 0.5f);
    glColorMaterial(GL_FRONT, GL_EMISSION);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0, 0.5f, 0, 1);  // after the enable: Mesa updates the material only then
    glNormal3f(0, 1, 0);
    glTexCoord2f(0.5f, 0.25f);
    GLuint buffer = 0;
    glExt.genBuffers(1, &buffer);
    glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, buffer);
    glExt.bufferData(GL_ARRAY_BUFFER_ARB, 64, nullptr, GL_STATIC_DRAW_ARB);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 16, reinterpret_cast<const GLvoid*>(4));
    glTranslatef(0.1f, 0.2f, 0.3f);
    glMatrixMode(GL_PROJECTION);
    before = snapshot();
    EXPECT_EQ(sequence->drawFrame(0, 200), 1u);
    EXPECT_EQ(snapshot(), before);

    glExt.deleteBuffers(1, &buffer);
    glDeleteTextures(1, &bound);
}

TEST_F(DrawFrame, PastTheLastFrameDrawsNothingAndChangesNothing) {
    const auto sequence = sequenceOf(mixedDocument(texture_));
    setMaterial(GL_FRONT, 0.3f);
    glColor4f(0.3f, 0.3f, 0.3f, 1);
    const auto before = snapshot();
    EXPECT_EQ(sequence->drawFrame(1, 255), 1u);
    EXPECT_EQ(sequence->drawFrame(0xFFFFFFFFu, 255), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(pixels(), std::vector<int>(kGlWindowSize * kGlWindowSize * 3, 0));
}

TEST_F(DrawFrame, CoversTheBatchesInTheCallersViewWithTheDepthTestOn) {
    const auto sequence =
        sequenceOf(documentOf({mqoMaterial(1, 0, 0), mqoMaterial(0, 1, 0)},
                              {square(-0.5f, -0.5f, 0.5f, 0.5f, 0), square(-1, -1, 1, 1, -1)}));
    glTranslatef(0.5f, 0, 0);
    sequence->drawFrame(0, 255);
    EXPECT_TRUE(colourAt(33, 17, 255, 0, 0));
    EXPECT_TRUE(colourAt(62, 46, 255, 0, 0));
    EXPECT_TRUE(colourAt(30, 32, 0, 0, 0));  // left of the moved square; material −1 is never drawn
    EXPECT_TRUE(colourAt(48, 50, 0, 0, 0));

    // In perspective, the near +z face (green) hides the far face and the +x face drawn after it.
    resetView();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 1, 10);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0, 0, -4);
    glRotatef(30, 0, 1, 0);
    sequenceOf(
        documentOf({mqoMaterial(0, 1, 0), mqoMaterial(1, 0, 0), mqoMaterial(0, 0, 1)}, {cube(0, 1, 2)}))
        ->drawFrame(0, 255);
    EXPECT_TRUE(colourAt(28, 32, 0, 255, 0));
    EXPECT_TRUE(colourAt(45, 32, 0, 255, 0));
    EXPECT_TRUE(colourAt(17, 32, 0, 0, 255));  // the −x face
    EXPECT_TRUE(colourAt(2, 2, 0, 0, 0));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(DrawFrame, OpacityScalesTheMaterialAlphasButNotTheColour) {
    MqoMaterial m = mqoMaterial(0, 1, 0);
    std::fill(m.dif, m.dif + 3, 0.0f), std::fill(m.amb, m.amb + 3, 0.0f), std::fill(m.emi, m.emi + 3, 1.0f);
    const auto sequence = sequenceOf(documentOf({m}, {square(-1, -1, 1, 1, 0)}));
    // Lit, the colour is the emission and the alpha the diffuse alpha, blended over black.
    glEnable(GL_LIGHTING);
    for (uint32_t alpha : {128u, 255u, 256u + 128u}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        sequence->drawFrame(0, alpha);
        const int expected = (alpha & 255) == 255 ? 255 : 128;
        EXPECT_TRUE(colourAt(32, 32, expected, expected, expected)) << alpha;
    }
    glDisable(GL_LIGHTING);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    sequence->drawFrame(0, 128);
    EXPECT_TRUE(colourAt(32, 32, 0, 255, 0));  // unlit: the batch colour, unscaled
}

TEST_F(DrawFrame, BuffersAreDrawnFromAndDeletedAndACallersBufferIsNoHindrance) {
    const auto isBuffer = reinterpret_cast<PFNGLISBUFFERARBPROC>(glutGetProcAddress("glIsBufferARB"));
    const MqoDocument d = mixedDocument(texture_);
    // A bound buffer of the caller must not turn the client addresses into offsets.
    GLuint callers = 0;
    glExt.genBuffers(1, &callers);
    glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, callers);
    glExt.bufferData(GL_ARRAY_BUFFER_ARB, 16, nullptr, GL_STATIC_DRAW_ARB);
    sequenceOf(d)->drawFrame(0, 255);
    const std::vector<int> fromArrays = pixels();
    EXPECT_TRUE(colourAt(24, 32, 255, 0, 0));
    glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    glExt.deleteBuffers(1, &callers);

    // Each batch copied into a buffer and its client array wiped: only the buffer can give the picture.
    auto buffered = sequenceOf(d);
    std::vector<GLuint> names;
    for (MeshObject& object : buffered->frames()[0].objects)
        for (MaterialBatch& batch : object.batches) {
            GLuint name = 0;
            glExt.genBuffers(1, &name);
            batch.buffer = BufferName(name);
            glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, name);
            auto& plain = batch.plainVertices;
            auto& textured = batch.texturedVertices;
            glExt.bufferData(
                GL_ARRAY_BUFFER_ARB, plain.size() * sizeof(VertexPN) + textured.size() * sizeof(VertexPNT),
                plain.empty() ? static_cast<void*>(textured.data()) : plain.data(), GL_STATIC_DRAW_ARB);
            std::fill(plain.begin(), plain.end(), VertexPN{});
            std::fill(textured.begin(), textured.end(), VertexPNT{});
            names.push_back(name);
        }
    glExt.bindBuffer(GL_ARRAY_BUFFER_ARB, 0);
    resetView();
    buffered->drawFrame(0, 255);
    EXPECT_EQ(pixels(), fromArrays);
    ASSERT_EQ(names.size(), 3u);
    for (GLuint name : names) EXPECT_TRUE(isBuffer(name));
    buffered.reset();
    for (GLuint name : names) EXPECT_FALSE(isBuffer(name));
}

}  // namespace
}  // namespace kelmo
