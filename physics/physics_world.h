#pragma once
// The physics world; physics_thread.h has the thread that steps it.
//
// Serialisation: one world lock. The physics thread holds it across each stepSimulation; every
// function of this module that touches the world, its bodies, constraints or motion states takes it
// too (add, remove, reset, drag, create, destroy, transforms, drawing). So the render thread waits at
// most for the one step in progress, and never sees a half-stepped world. beginPhysicsFrame only
// polls the step-done event and never waits.
//
// The lock is recursive on purpose: a caller that needs several calls to act as one (the character
// swapping its proxy body, a test reading the world) holds a PhysicsWorldAccess and may still call
// the functions below. Never call exitPhysics while holding one: it joins the thread, which may be
// waiting for the lock.
//
// Ownership: the module keeps track of every body, motion state, box shape and drag constraint it
// makes; exitPhysics frees them all, in the world or not, and leaves the module ready for another
// initPhysics.
#include <btBulletDynamicsCommon.h>

namespace kelmo {

// Movie screen bricks the world can be sized for. The 16-bit sweep-and-prune broadphase takes at most
// 32766 handles; this leaves it well inside that with the projectiles and the rest.
constexpr int kMaxScreenBodies = 10000;

// Builds the world with the ground plane (gravity along z), resets the scene and starts the
// physics thread. Does nothing when the world exists already. The broadphase gets room for the
// ground, three character proxies, kMaxProjectiles projectiles and screenBodies screen bricks, plus
// a small margin; screenBodies is clamped to [0, kMaxScreenBodies].
void initPhysics(double gravityZ, int screenBodies = 100);
// Bodies the present world accepts (every body in the world takes one broadphase handle); 0 without
// a world.
int worldBodyLimit();
// Stops and joins the physics thread, then frees everything the module made. Safe without a world.
void exitPhysics();

// Membership only; neither frees anything. addBody refuses (with a console line) a body beyond
// worldBodyLimit, and ignores one already in the world.
void addBody(btRigidBody* body);
void removeBody(btRigidBody* body);
// Every body in the world back to the transform it was made with, at rest.
void resetScene();
bool physicsWorldExists();

btTransform bodyWorldTransform(const btRigidBody* body);
// The collision object's world transform, and the body's centre-of-mass transform (which also
// resets its interpolation), written under the world lock.
void setBodyWorldTransform(btRigidBody* body, const btTransform& transform);
void setBodyCenterOfMassTransform(btRigidBody* body, const btTransform& transform);
bool bodyInWorld(const btRigidBody* body);
// The body sleeps until something touches it, now and after every reset. For structures that stand
// only as built, such as a wall of thin bricks, which the solver's small errors would topple.
void restUntilHit(btRigidBody* body);
// Takes the body out of the world if it is in it, releases drag constraints on it, and frees the
// body, its motion state and the box shape made for it. Pointers the module did not make (or has
// freed already) are ignored.
void destroyBody(btRigidBody* body);

// Holds the world lock for its lifetime.
class PhysicsWorldAccess {
public:
    PhysicsWorldAccess();
    ~PhysicsWorldAccess();
    PhysicsWorldAccess(const PhysicsWorldAccess&) = delete;
    PhysicsWorldAccess& operator=(const PhysicsWorldAccess&) = delete;

    // Null before initPhysics.
    btDiscreteDynamicsWorld* world() const;
};

}  // namespace kelmo
