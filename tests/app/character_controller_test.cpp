// The character controller on a real physics world, without a window: keys and the remote in,
// motion sets, drag targets, projectiles and the reset out.
#include "app/character_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "model/mqo_loader.h"
#include "physics/physics_bodies.h"
#include "tests/physics/physics_fixture.h"
#include "tests/support/temp_path.h"
#include "tests/wiimote/simulated_remote.h"
#include "wiimote/wii_remote_input.h"

namespace kelmo {
namespace {

using testing_support::expectNear;

// A box document in the y-up frame: x from x0 to x1, depth 20, height `height` above zero.
std::string boxDocument(double x0, double x1, double height) {
    std::string text =
        "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"box\" {\n\tvisible 15\n\tshading 0\n"
        "\tvertex 8 {\n";
    for (double y : {0.0, height})
        for (double x : {x0, x1})
            for (double z : {-10.0, 10.0}) {
                char line[80];
                std::snprintf(line, sizeof line, "\t\t%g %g %g\n", x, y, z);
                text += line;
            }
    text +=
        "\t}\n\tface 2 {\n\t\t3 V(0 1 2) M(0)\n\t\t3 V(5 6 7) M(0)\n\t}\n}\nEof\n";
    return text;
}

double angleAboutZDegrees(const btTransform& transform) {
    const btQuaternion q = transform.getRotation();
    return q.getAngle() * 180.0 / 3.141592653589793 * (q.getAxis().z() < 0 ? -1.0 : 1.0);
}

class CharacterControl : public testing_support::PhysicsTest {
protected:
    void SetUp() override {
        testing_support::PhysicsTest::SetUp();
        controlState = ControlState{};
    }
    void TearDown() override {
        destroyProjectiles(scene.projectiles);
        scene.motions.clear();
        testing_support::PhysicsTest::TearDown();
        controlState = ControlState{};
    }

    // The three sets as start-up makes them, each a box of its own width and height, stay in the world.
    void loadSets(double stay, double walk, double run) {
        const double values[3] = {stay, walk, run};
        const double x0[3] = {-10, 0, -40}, x1[3] = {10, 30, -20}, heights[3] = {40, 30, 20};
        for (int i = 0; i < 3; ++i) {
            const std::string path = testing_support::tempPath("set" + std::to_string(i) + ".mqo");
            std::ofstream(path) << boxDocument(x0[i], x1[i], heights[i]);
            MotionRecord record;
            record.moveValue = values[i];
            record.sequence = loader.loadModel(path, yUpToZUp, 1.0f);
            std::remove(path.c_str());
            ASSERT_TRUE(record.sequence);
            scene.motions.push_back(std::move(record));
        }
        std::vector<std::string> problems;
        ASSERT_TRUE(createProxyBodies(scene.motions, 100.0f, problems));
        stayValue = stay;
        walkValue = walk;
        runValue = run;
        controlState.speed = stayValue;
        addBody(scene.motions[0].body);
    }

    MotionRecord& current() { return scene.motions[static_cast<size_t>(scene.currentMotion)]; }

    // What the next step pulls the current body's centre towards, relative to that centre.
    btVector3 dragLead() {
        PhysicsWorldAccess access;
        const MotionRecord& motion = current();
        EXPECT_NE(motion.dragHandle, nullptr);
        if (!motion.dragHandle) return btVector3(0, 0, 0);
        return motion.dragHandle->getPivotInB() - motion.body->getCenterOfMassPosition();
    }

    int constraintCount() {
        PhysicsWorldAccess access;
        return access.world()->getNumConstraints();
    }

    void frame() { controlCharacter(scene, controlState); }

    MqoLoader loader;
    CharacterScene scene;
};

TEST_F(CharacterControl, AKeyWalksOneFrameThenTheCharacterStaysOnTheSameSpotFacingTheSameWay) {
    loadSets(0, 20, 40);
    const btVector3 drawnBefore = modelOrigin(current());
    scene.currentFrame = 7;

    onKeyboard('6', 0, 0);
    frame();
    EXPECT_EQ(scene.currentMotion, 1);
    EXPECT_EQ(scene.currentFrame, 0u) << "the animation starts again";
    EXPECT_TRUE(bodyInWorld(current().body));
    EXPECT_FALSE(bodyInWorld(scene.motions[0].body));
    expectNear(dragLead(), btVector3(20, 0, 0));
    EXPECT_NEAR(angleAboutZDegrees(bodyWorldTransform(current().body)), 90.0, 1e-3);
    // Sets of different x/y bounds: the model's own origin is drawn where it was, on the plane.
    const btVector3 drawnWalking = modelOrigin(current());
    EXPECT_NEAR(drawnWalking.x(), drawnBefore.x(), 1e-4);
    EXPECT_NEAR(drawnWalking.y(), drawnBefore.y(), 1e-4);
    EXPECT_NEAR(bodyWorldTransform(current().body).getOrigin().z(), 15.0, 1e-4) << "the walk box rests on the plane";
    EXPECT_NEAR(drawnWalking.z(), 0.0, 1e-4) << "the model's lowest point, zero here, on the plane";
    // The stay set's drag went with it, so nothing pulls a body that is out of the world.
    EXPECT_EQ(scene.motions[0].dragHandle, nullptr);
    EXPECT_EQ(constraintCount(), 1);

    testing_support::stepWorld(5);
    const btVector3 walked = bodyWorldTransform(current().body).getOrigin();
    EXPECT_GT(walked.x(), 1.0) << "the drag pulls the body towards +X";
    scene.currentFrame = 3;
    frame();  // no key: back to stay
    EXPECT_EQ(scene.currentMotion, 0);
    EXPECT_EQ(scene.currentFrame, 0u);
    const btTransform stay = bodyWorldTransform(current().body);
    EXPECT_NEAR(stay.getOrigin().x(), walked.x(), 1e-4);
    EXPECT_NEAR(stay.getOrigin().y(), walked.y(), 1e-4);
    EXPECT_NEAR(stay.getOrigin().z(), 20.0, 1e-4);
    EXPECT_NEAR(angleAboutZDegrees(stay), 90.0, 1e-3) << "still facing +X";
    expectNear(dragLead(), btVector3(0, 0, 0));
    EXPECT_EQ(controlState.speed, 0.0);
    EXPECT_EQ(constraintCount(), 1);
}

TEST_F(CharacterControl, SetsSharingAValueSwitchExactlyAndTheLastMatchWins) {
    loadSets(10, 10, 10);
    onKeyboard('2', 0, 0);  // heading 0: towards -Y
    frame();
    EXPECT_EQ(scene.currentMotion, 0) << "all three share the value: never a change";
    expectNear(dragLead(), btVector3(0, -10, 0));
    EXPECT_NEAR(angleAboutZDegrees(bodyWorldTransform(current().body)), 0.0, 1e-6);
    frame();  // the stay speed of 10 does not walk it off without a key
    expectNear(dragLead(), btVector3(0, 0, 0));
    onKeyboard('6', 0, 0);
    onKeyboard('5', 0, 0);
    frame();  // 5 stops
    expectNear(dragLead(), btVector3(0, 0, 0));

    // Walk and run share a value; stay differs.
    const double values[3] = {0, 20, 20};
    for (int i = 0; i < 3; ++i) scene.motions[static_cast<size_t>(i)].moveValue = values[i];
    stayValue = 0;
    walkValue = runValue = 20;
    onKeyboard('8', 0, 0);
    frame();
    EXPECT_EQ(scene.currentMotion, 2) << "walk and run share 20: the run set, last in the list";
    EXPECT_FALSE(bodyInWorld(scene.motions[1].body));
    expectNear(dragLead(), btVector3(0, 20, 0));

    controlState.speed = 20.0000001;  // no tolerance: not a set's value
    frame();
    EXPECT_EQ(scene.currentMotion, 2);
}

TEST_F(CharacterControl, ResetRemovesProjectilesAndPutsTheCharacterBackFacingZero) {
    loadSets(0, 20, 40);
    setLaunchPoint(0, -300, 200);
    onKeyboard(' ', 0, 0);
    frame();
    onKeyboard(' ', 0, 0);
    onKeyboard('4', 0, 0);
    frame();
    ASSERT_EQ(scene.projectiles.size(), 2u);
    testing_support::stepWorld(10);
    frame();  // back to stay, off the start spot
    EXPECT_GT(std::abs(bodyWorldTransform(current().body).getOrigin().x()), 1.0);

    // Space and "c" before the same frame: the new projectile goes with the reset.
    onKeyboard(' ', 0, 0);
    onKeyboard('c', 0, 0);
    frame();
    EXPECT_TRUE(scene.projectiles.empty());
    EXPECT_EQ(testing_support::worldBodyCount(), 2) << "the ground and the character";
    EXPECT_EQ(scene.currentMotion, 0);
    EXPECT_EQ(controlState.heading, 0.0);
    EXPECT_FALSE(controlState.resetRequested);
    const btTransform back = bodyWorldTransform(current().body);
    expectNear(back.getOrigin(), btVector3(0, 0, 20));
    EXPECT_NEAR(back.getRotation().getAngle(), 0.0, 1e-4);
}

TEST_F(CharacterControl, AfterAThousandShotsAResetLetsTheUserFireAgain) {
    loadSets(0, 20, 40);
    setLaunchPoint(0, -300, 200);
    testing::internal::CaptureStdout();
    for (int i = 0; i <= kMaxProjectiles; ++i) {
        controlState.fireRequested = true;
        frame();
    }
    const std::string refused = testing::internal::GetCapturedStdout();
    EXPECT_EQ(scene.projectiles.size(), static_cast<size_t>(kMaxProjectiles));
    EXPECT_NE(refused, "") << "the shot past the limit is refused with a line";

    controlState.resetRequested = true;
    frame();
    controlState.fireRequested = true;
    frame();
    EXPECT_EQ(scene.projectiles.size(), 1u);
    EXPECT_EQ(testing_support::worldBodyCount(), 3);
}

// The remote as the frame reads it: the buttons first, then the controller.
TEST_F(CharacterControl, TheRemotesDpadWalksAndBRuns) {
    loadSets(0, 20, 40);
    SimulatedTransport transport;
    std::shared_ptr<SimulatedRemote> remote = transport.add();
    testing::internal::CaptureStdout();
    initWiiRemote(transport, [](uint32_t) {});
    testing::internal::GetCapturedStdout();

    const auto frameUntil = [&](int motion) {
        for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             std::chrono::steady_clock::now() < deadline;) {
            applyWiiButtons();
            frame();
            if (scene.currentMotion == motion) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        return false;
    };
    remote->send({0x30, 0x02, 0x04});  // right and B
    EXPECT_TRUE(frameUntil(2));
    expectNear(dragLead(), btVector3(40, 0, 0));
    remote->send({0x30, 0x04, 0x00});  // down alone
    EXPECT_TRUE(frameUntil(1));
    expectNear(dragLead(), btVector3(0, -20, 0));
    remote->send({0x30, 0x00, 0x00});
    EXPECT_TRUE(frameUntil(0));

    testing::internal::CaptureStdout();
    stopWiiRemote();
    testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace kelmo
