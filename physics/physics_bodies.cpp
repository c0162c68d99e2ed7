// Body factories, projectiles and the drag constraint.
#include "physics/physics_bodies.h"

#include <cmath>
#include <cstdio>

#include "physics/physics_state.h"
#include "physics/physics_world.h"

namespace kelmo {
namespace physics_detail {

btRigidBody* createRigidBodyLocked(float mass, const btTransform& start, btCollisionShape* shape,
                                   const BodyRecord& record) {
    PhysicsState& s = state();
    if (s.dynamicsWorld == nullptr || shape == nullptr) return nullptr;
    btVector3 inertia(0, 0, 0);
    if (mass != 0.0f) shape->calculateLocalInertia(mass, inertia);
    auto* motion = new btDefaultMotionState(start);
    btRigidBody::btRigidBodyConstructionInfo info(mass, motion, shape, inertia);
    auto* body = new btRigidBody(info);
    s.bodies.emplace(body, record);
    if (worldHasRoomLocked()) {
        s.dynamicsWorld->addRigidBody(body);
    } else {
        std::printf("body not added: the physics world is full (%d bodies)\n",
                    s.dynamicsWorld->getNumCollisionObjects());
        std::fflush(stdout);
    }
    return body;
}

}  // namespace physics_detail

namespace {

using namespace physics_detail;

using WorldLock = std::lock_guard<std::recursive_mutex>;

bool finite(const btVector3& v) {
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

}  // namespace

btRigidBody* createRigidBody(float mass, const btTransform& start, btCollisionShape* shape) {
    WorldLock lock(state().worldMutex);
    return physics_detail::createRigidBodyLocked(mass, start, shape, BodyRecord{});
}

btRigidBody* createBoxBody(float mass, float sizeX, float sizeY, float sizeZ, const btVector3& position,
                           const btQuaternion* rotation) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    const btVector3 size(sizeX, sizeY, sizeZ);
    if (s.dynamicsWorld == nullptr || !std::isfinite(mass) || !finite(size) || !finite(position))
        return nullptr;
    btTransform transform;
    transform.setIdentity();
    transform.setOrigin(position);
    if (rotation != nullptr) transform.setRotation(*rotation);
    // An edge length has no sign; a negative one would give the box a negative margin.
    auto* shape = new btBoxShape(size.absolute() / 2);
    BodyRecord record;
    record.ownShape = shape;
    btRigidBody* body = physics_detail::createRigidBodyLocked(mass, transform, shape, record);
    btTransform& own = body->getWorldTransform();
    own.setOrigin(position);
    if (rotation != nullptr) own.setRotation(*rotation);
    return body;
}

void setLaunchPoint(float x, float y, float z) {
    WorldLock lock(state().worldMutex);
    state().launchPoint = btVector3(x, y, z);
}

btRigidBody* shootProjectile(const btVector3& destination) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    if (s.dynamicsWorld == nullptr) return nullptr;
    const btVector3 direction = destination - s.launchPoint;
    if (!finite(direction) || !(direction.length2() > 0)) {
        std::printf("projectile refused: the launch point (%g, %g, %g) gives no direction to the target\n",
                    s.launchPoint.x(), s.launchPoint.y(), s.launchPoint.z());
        std::fflush(stdout);
        return nullptr;
    }
    if (s.projectiles >= kMaxProjectiles || !physics_detail::worldHasRoomLocked()) {
        std::printf("projectile refused: the physics world is full (%d bodies, %d projectiles)\n",
                    s.dynamicsWorld->getNumCollisionObjects(), s.projectiles);
        std::fflush(stdout);
        return nullptr;
    }
    btTransform start;
    start.setIdentity();
    start.setOrigin(s.launchPoint);
    if (s.projectileShape == nullptr)
        s.projectileShape =
            new btBoxShape(btVector3(kProjectileHalfExtent, kProjectileHalfExtent, kProjectileHalfExtent));
    BodyRecord record;
    record.projectile = true;
    btRigidBody* body =
        physics_detail::createRigidBodyLocked(kProjectileMass, start, s.projectileShape, record);
    ++s.projectiles;
    const btVector3 velocity = direction.normalized() * kProjectileSpeed;
    body->getWorldTransform().setOrigin(s.launchPoint);
    body->getWorldTransform().setRotation(btQuaternion(0, 0, 0, 1));
    body->setLinearVelocity(velocity);
    body->setAngularVelocity(btVector3(0, 0, 0));
    return body;
}

btRigidBody* fireProjectile() { return shootProjectile(btVector3(0, 0, 0)); }

btPoint2PointConstraint* dragBody(btRigidBody* body, btPoint2PointConstraint* constraint, double dx,
                                  double dy, double dz) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    if (s.dynamicsWorld == nullptr || body == nullptr) return constraint;
    // A NaN target would spread through the solver into every touching body.
    if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dz)) dx = dy = dz = 0;
    const btVector3 step(static_cast<btScalar>(dx), static_cast<btScalar>(dy), static_cast<btScalar>(dz));
    if (dx != 0 || dy != 0 || dz != 0) {
        body->setActivationState(DISABLE_DEACTIVATION);
    } else {
        body->activate();
    }
    const btVector3 centre = body->getCenterOfMassPosition();
    if (constraint == nullptr) {
        const btVector3 pivot = body->getWorldTransform().inverse() * centre;
        constraint = new btPoint2PointConstraint(*body, pivot);
        s.dynamicsWorld->addConstraint(constraint);
        constraint->m_setting.m_tau = 0.1f;
        s.constraints.push_back(constraint);
    }
    constraint->setPivotB(centre + step);
    return constraint;
}

btPoint2PointConstraint* releaseDrag(btPoint2PointConstraint* constraint) {
    if (constraint == nullptr) return nullptr;
    WorldLock lock(state().worldMutex);
    physics_detail::releaseConstraintLocked(constraint);
    return nullptr;
}

}  // namespace kelmo
