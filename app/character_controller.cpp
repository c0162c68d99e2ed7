#include "app/character_controller.h"

#include <btBulletDynamicsCommon.h>

#include <cmath>
#include <cstdio>

#include "app/configuration.h"
#include "physics/physics_bodies.h"
#include "physics/physics_world.h"

namespace kelmo {
namespace {

constexpr double kPi = 3.141592653589793;

void fire(CharacterScene& scene) {
    if (btRigidBody* projectile = fireProjectile()) scene.projectiles.push_back(projectile);
}

void resetScene(CharacterScene& scene, ControlState& control) {
    for (MotionRecord& motion : scene.motions) motion.dragHandle = releaseDrag(motion.dragHandle);
    destroyProjectiles(scene.projectiles);
    kelmo::resetScene();
    control.speed = stayValue;
    control.directionRequested = false;
    control.heading = 0.0;
}

// Height of the body's centre when its box rests on the marker plane.
float standingHeight(const MotionRecord& motion) {
    float low[3], high[3];
    if (!motion.sequence || !motion.sequence->boundsMin(-1, low) || !motion.sequence->boundsMax(-1, high))
        return 0.0f;
    return proxyPlacement(low, high).origin[2];
}

// Puts set `next` in the world in place of the current set, at the same spot on the plane. Its drag
// is made afresh: a constraint kept on a body outside the world would still be solved and hand the
// body a velocity it carries back in later.
void switchMotionSet(CharacterScene& scene, int next) {
    MotionRecord& from = scene.motions[static_cast<size_t>(scene.currentMotion)];
    MotionRecord& to = scene.motions[static_cast<size_t>(next)];
    PhysicsWorldAccess swapAsOne;  // the step never sees the world between the two sets
    from.dragHandle = releaseDrag(from.dragHandle);
    removeBody(from.body);
    const btVector3 spot = bodyWorldTransform(from.body).getOrigin();
    btTransform placed = bodyWorldTransform(to.body);
    placed.setOrigin(btVector3(spot.x(), spot.y(), standingHeight(to)));
    setBodyWorldTransform(to.body, placed);
    addBody(to.body);
    if (!bodyInWorld(to.body)) {
        addBody(from.body);
        if (!scene.toldWorldFull) {
            std::printf("the physics world has no room for the character's [%s] body; it keeps its present motion\n",
                        motionSectionName(next));
            std::fflush(stdout);
            scene.toldWorldFull = true;
        }
        return;
    }
    scene.currentMotion = next;
    scene.currentFrame = 0;
}

// Every set whose value equals the speed exactly becomes current in turn: the last one wins.
void chooseMotionSet(CharacterScene& scene, double speed) {
    if (speed == scene.motions[static_cast<size_t>(scene.currentMotion)].moveValue) return;
    for (size_t j = 0; j < scene.motions.size(); ++j) {
        if (scene.motions[j].moveValue == speed) switchMotionSet(scene, static_cast<int>(j));
    }
}

}  // namespace

double headingRadians(double heading) { return heading * kPi / 180.0; }

void destroyProjectiles(std::vector<btRigidBody*>& projectiles) {
    for (btRigidBody* projectile : projectiles) destroyBody(projectile);
    projectiles.clear();
}

void controlCharacter(CharacterScene& scene, ControlState& control) {
    if (scene.motions.empty()) return;
    if (control.fireRequested) {
        fire(scene);
        control.fireRequested = false;
    }
    if (control.resetRequested) {
        resetScene(scene, control);
        control.resetRequested = false;
    }
    chooseMotionSet(scene, control.speed);

    MotionRecord& motion = scene.motions[static_cast<size_t>(scene.currentMotion)];
    const double r = headingRadians(control.heading);
    {
        PhysicsWorldAccess turnAsOne;
        btTransform facing = bodyWorldTransform(motion.body);
        facing.setRotation(btQuaternion(btVector3(0, 0, 1), static_cast<btScalar>(r)));
        setBodyCenterOfMassTransform(motion.body, facing);
    }
    const double step = control.directionRequested ? control.speed : 0.0;
    motion.dragHandle = dragBody(motion.body, motion.dragHandle, std::sin(r) * step, -std::cos(r) * step, 0.0);
    control.speed = stayValue;
    control.directionRequested = false;
}

}  // namespace kelmo
