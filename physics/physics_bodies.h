#pragma once
// Bodies of the world: the factories, projectiles fired from the camera, and the drag that walks the
// character's proxy. Render thread; each call takes the world lock (see physics_world.h).
#include <btBulletDynamicsCommon.h>

namespace kelmo {

constexpr float kProjectileMass = 80.0f;
constexpr float kProjectileSpeed = 200.0f;
constexpr float kProjectileHalfExtent = 4.0f;
// Live projectiles at most. The world is sized for these besides the screen (see initPhysics), so the
// screen still fits when it is built after the projectiles.
constexpr int kMaxProjectiles = 1000;

// Mass 0 makes a static body. The body is added to the world unless the world is full (console line;
// the body is then kept outside the world). Null without a world or a shape.
btRigidBody* createRigidBody(float mass, const btTransform& start, btCollisionShape* shape);
// sizeX/Y/Z are full edge lengths; rotation may be null. The module owns the box shape. Null without
// a world or with a non-finite size or position.
btRigidBody* createBoxBody(float mass, float sizeX, float sizeY, float sizeZ, const btVector3& position,
                           const btQuaternion* rotation);

// Where projectiles leave from: the camera position in marker coordinates, stored once per frame.
void setLaunchPoint(float x, float y, float z);
// A projectile from the launch point towards destination at kProjectileSpeed. Null, with a console
// line, when there is no world, the direction has no length, or kMaxProjectiles are alive or the
// world is full.
btRigidBody* shootProjectile(const btVector3& destination);
// Towards the marker's origin.
btRigidBody* fireProjectile();

// Pulls the body's centre towards its present centre + (dx, dy, dz) during the next steps; a zero step
// holds it in place. Makes the constraint when given null; returns the one to keep.
btPoint2PointConstraint* dragBody(btRigidBody* body, btPoint2PointConstraint* constraint, double dx,
                                  double dy, double dz);
// Removes and frees a constraint made by dragBody; returns null to store in its place.
btPoint2PointConstraint* releaseDrag(btPoint2PointConstraint* constraint);

}  // namespace kelmo
