// The character on its physics proxy and the scene around it, on real Bullet and Mesa.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/motion_sets.h"
#include "app/scene_drawing.h"
#include "model/mqo_loader.h"
#include "physics/physics_bodies.h"
#include "render/frame_renderer.h"
#include "render/framebuffer.h"
#include "tests/physics/physics_fixture.h"
#include "tests/render/render_gl_window.h"
#include "tests/support/temp_path.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;
constexpr int kWindowSize = testing_support::kRenderWindowSize;

// A white box standing on its origin in the document's y-up frame: 20 wide, 20 deep, `height` tall
// above `base`.
std::string boxDocument(double base, double height) {
    const double top = base + height;
    std::string text =
        "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 1 {\n"
        "\t\"white\" col(1.000 1.000 1.000 1.000) dif(1.000) amb(1.000) emi(1.000) spc(0.000) power(5.00)\n}\n"
        "Object \"box\" {\n\tvisible 15\n\tshading 0\n\tfacet 59.5\n\tvertex 8 {\n";
    for (double y : {base, top})
        for (const char* corner : {"-10 %g -10", "10 %g -10", "10 %g 10", "-10 %g 10"}) {
            char line[64];
            std::snprintf(line, sizeof line, corner, y);
            text += std::string("\t\t") + line + "\n";
        }
    text +=
        "\t}\n\tface 6 {\n\t\t4 V(0 1 2 3) M(0)\n\t\t4 V(7 6 5 4) M(0)\n\t\t4 V(0 4 5 1) M(0)\n"
        "\t\t4 V(1 5 6 2) M(0)\n\t\t4 V(2 6 7 3) M(0)\n\t\t4 V(3 7 4 0) M(0)\n\t}\n}\nEof\n";
    return text;
}

class SceneTest : public testing_support::PhysicsTest {
protected:
    void SetUp() override {
        KELMO_REQUIRE_GL_WINDOW(kWindowSize);
        testing_support::PhysicsTest::SetUp();
        folder_ = testing_support::tempPath("scene_gl_test");
        fs::create_directories(folder_);
    }
    void TearDown() override {
        motions_.clear();
        testing_support::PhysicsTest::TearDown();
        fs::remove_all(folder_);
    }

    // One motion set from a single document; its proxy made and taken out of the world.
    MotionRecord& addMotion(double base, double height) {
        const fs::path file = folder_ / ("box" + std::to_string(motions_.size()) + ".mqo");
        std::ofstream(file) << boxDocument(base, height);
        MotionRecord record;
        record.sequence = loader_.loadModel(file.string(), yUpToZUp, 1.0f);
        EXPECT_TRUE(record.sequence);
        motions_.push_back(std::move(record));
        std::vector<std::string> problems;
        EXPECT_TRUE(createProxyBodies(motions_, 100.0f, problems));
        return motions_.back();
    }

    // The scene from straight above the marker: 2 pixels per marker unit, origin in the middle.
    static void topView() {
        testing_support::orthoView(kWindowSize, 32, 500);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
    }

    static std::vector<unsigned char> readRgba(int x, int y, int w, int h) {
        std::vector<unsigned char> rgba(static_cast<size_t>(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    fs::path folder_;
    MqoLoader loader_;
    std::vector<MotionRecord> motions_;
};

TEST_F(SceneTest, ACharacterStandingOnItsOriginRestsOnTheMarkerPlaneInsideItsProxy) {
    MotionRecord& motion = addMotion(0.0, 40.0);  // feet at zero, like most models
    EXPECT_FALSE(bodyInWorld(motion.body));
    addBody(motion.body);
    testing_support::stepWorld(180);  // three seconds of gravity

    const btTransform transform = bodyWorldTransform(motion.body);
    EXPECT_NEAR(transform.getOrigin().z(), 20.0, 0.5) << "the box's bottom on the plane";
    EXPECT_NEAR(transform.getOrigin().x(), 0.0, 0.5);
    EXPECT_NEAR(transform.getOrigin().y(), 0.0, 0.5);
    // The model's lowest point where the box's bottom is, so the character neither floats nor sinks.
    float low[3];
    ASSERT_TRUE(motion.sequence->boundsMin(-1, low));
    EXPECT_NEAR(transform.getOrigin().z() + motion.modelOffset[2] + low[2], 0.0, 0.5);
}

TEST_F(SceneTest, ACharacterCentredOnItsOriginIsDrawnAtItsBody) {
    MotionRecord& motion = addMotion(-15.0, 30.0);
    EXPECT_FLOAT_EQ(motion.modelOffset[2], 0.0f);
    EXPECT_FLOAT_EQ(bodyWorldTransform(motion.body).getOrigin().z(), 15.0f);
}

TEST_F(SceneTest, ShowsTheCharacterAndProjectilesOrEveryBodyAsAsked) {
    MotionRecord& motion = addMotion(0.0, 40.0);
    addBody(motion.body);
    // A screen brick off to the side, and one projectile on the other side.
    createBoxBody(150.0f, 10.0f, 10.0f, 10.0f, btVector3(-24, 0, 5), nullptr);
    setLaunchPoint(24, 0, 100);
    std::vector<btRigidBody*> projectiles{shootProjectile(btVector3(24, 0, 0))};
    ASSERT_NE(projectiles[0], nullptr);

    SceneContents scene;
    scene.motion = &motion;
    scene.projectiles = &projectiles;
    auto litAt = [](double markerX) {
        const int x = static_cast<int>(kWindowSize / 2 + markerX * 2);
        const std::vector<unsigned char> p = readRgba(x, kWindowSize / 2, 1, 1);
        return p[0] + p[1] + p[2] > 0;
    };

    topView();
    drawScene(-1.0, scene);
    EXPECT_TRUE(litAt(0)) << "the character";
    EXPECT_TRUE(litAt(24)) << "the projectile";
    EXPECT_FALSE(litAt(-24)) << "a brick is not drawn without the physics view";

    scene.showAllBodies = true;
    topView();
    drawScene(-1.0, scene);
    EXPECT_TRUE(litAt(-24)) << "every body in the physics view";
    EXPECT_TRUE(litAt(24));
}

TEST_F(SceneTest, TheInvisibleFloorWritesDepthButNoColour) {
    topView();
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    drawFloor(400.0, 0.0f);
    glDisable(GL_BLEND);
    const std::vector<unsigned char> colour = readRgba(10, 10, 1, 1);
    EXPECT_NEAR(colour[0], 51, 1);
    EXPECT_NEAR(colour[1], 102, 1);
    EXPECT_NEAR(colour[2], 153, 1);
    float depth = 1.0f;
    glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.5f, 0.01f) << "z = 0 halfway between the near and far planes";
}

TEST_F(SceneTest, TheOffScreenViewShowsTheCharacterOverATransparentBackgroundAndRestoresTheWindow) {
    FramebufferManager manager;
    ASSERT_TRUE(manager.supported());
    std::unique_ptr<Framebuffer> target = manager.createFramebuffer(160, 120, false);
    ASSERT_TRUE(target);
    MotionRecord& motion = addMotion(0.0, 40.0);
    addBody(motion.body);
    SceneContents scene;
    scene.motion = &motion;

    topView();
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_PROJECTION);
    GLdouble projectionBefore[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projectionBefore);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    drawTargetView(*target, scene);

    GLint viewport[4], binding = -1;
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[3], 60);
    GLdouble projectionAfter[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projectionAfter);
    for (int i = 0; i < 16; ++i) EXPECT_DOUBLE_EQ(projectionAfter[i], projectionBefore[i]);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
    EXPECT_EQ(binding, 0) << "the window is bound again";
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[2], 0.6f);

    // Read the target back: a transparent dark frame with the white character in the middle.
    std::vector<unsigned char> rgba(160 * 120 * 4);
    glBindTexture(GL_TEXTURE_2D, target->colourTexture());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    auto at = [&](int x, int y) { return &rgba[(static_cast<size_t>(y) * 160 + x) * 4]; };
    EXPECT_NEAR(at(2, 2)[0], 26, 1);
    EXPECT_EQ(at(2, 2)[3], 0) << "the background lets the movie show through";
    int characterPixels = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            if (at(x, y)[0] > 100) ++characterPixels;
    EXPECT_GT(characterPixels, 200);
    EXPECT_GT(at(80, 60)[0], 100) << "the character in the middle of the view";
}

}  // namespace
}  // namespace kelmo
