#pragma once
// Module state shared by the world, thread, body and drawing files. Not a public header.
#include <btBulletDynamicsCommon.h>

#include <mutex>
#include <unordered_map>
#include <vector>

namespace kelmo::physics_detail {

// What the module made for one body besides the body and its motion state.
struct BodyRecord {
    btCollisionShape* ownShape = nullptr;  // the box made by createBoxBody, freed with the body
    bool projectile = false;
    bool restsUntilHit = false;  // kept asleep at the start and after each reset
};

// Everything below worldMutex is read and written with it held.
struct PhysicsState {
    std::recursive_mutex worldMutex;

    btDefaultCollisionConfiguration* collisionConfiguration = nullptr;
    btCollisionDispatcher* dispatcher = nullptr;
    btAxisSweep3* broadphase = nullptr;
    int bodyLimit = 0;  // bodies the broadphase was made for; 0 without a world
    btSequentialImpulseConstraintSolver* solver = nullptr;
    btDiscreteDynamicsWorld* dynamicsWorld = nullptr;
    btAlignedObjectArray<btCollisionShape*> collisionShapes;  // the ground plane's shape

    std::unordered_map<btRigidBody*, BodyRecord> bodies;  // made by createRigidBody, not yet freed
    std::vector<btPoint2PointConstraint*> constraints;    // made by dragBody, not yet released
    btBoxShape* projectileShape = nullptr;                // shared by every projectile
    int projectiles = 0;                                  // projectile bodies not yet freed
    btVector3 launchPoint{0, 0, 0};
};

PhysicsState& state();

// World lock held by the caller for each of these.
btRigidBody* createRigidBodyLocked(float mass, const btTransform& start, btCollisionShape* shape,
                                   const BodyRecord& record);
bool worldHasRoomLocked();
void releaseConstraintLocked(btTypedConstraint* constraint);

// The thread; neither takes the world lock itself.
void startPhysicsThread(btDiscreteDynamicsWorld* world);
void stopPhysicsThread();  // joins

}  // namespace kelmo::physics_detail
