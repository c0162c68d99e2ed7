// The world: building and freeing it, membership, the scene reset and the module's bookkeeping.
#include "physics/physics_world.h"

#include <algorithm>
#include <cstdio>

#include "physics/physics_bodies.h"
#include "physics/physics_state.h"
#include "physics/physics_thread.h"

namespace kelmo {
namespace physics_detail {

// Never destroyed, like the thread state: the thread may outlive static destruction after exit().
PhysicsState& state() {
    static PhysicsState* const instance = new PhysicsState;
    return *instance;
}

bool worldHasRoomLocked() {
    const PhysicsState& s = state();
    return s.dynamicsWorld != nullptr && s.dynamicsWorld->getNumCollisionObjects() < s.bodyLimit;
}

void releaseConstraintLocked(btTypedConstraint* constraint) {
    PhysicsState& s = state();
    const auto it = std::find(s.constraints.begin(), s.constraints.end(), constraint);
    if (it == s.constraints.end()) return;  // not ours, or released already
    s.constraints.erase(it);
    if (s.dynamicsWorld != nullptr) s.dynamicsWorld->removeConstraint(constraint);
    delete constraint;
}

}  // namespace physics_detail

namespace {

using namespace physics_detail;

using WorldLock = std::lock_guard<std::recursive_mutex>;

const btScalar kWorldBound = 10000;

// Bodies besides the screen and the projectiles: the ground and the three character proxies, and a
// few spare for anything else the scene adds.
constexpr int kSceneBodies = 1 + 3;
constexpr int kSpareBodies = 44;

constexpr int bodyLimitFor(int screenBodies) {
    return kSceneBodies + kMaxProjectiles + std::clamp(screenBodies, 0, kMaxScreenBodies) + kSpareBodies;
}
// The handle count goes to Bullet as an unsigned short, and its edge indices (two per handle, plus
// the sentinel's) must fit one too.
static_assert(2 * (bodyLimitFor(kMaxScreenBodies) + 2) <= 65535, "the broadphase cannot hold this many");

void resetSceneLocked() {
    PhysicsState& s = state();
    int count = 0;
    if (s.dynamicsWorld != nullptr) {
        s.dynamicsWorld->stepSimulation(btScalar(1.0) / btScalar(60.0), 0);
        count = s.dynamicsWorld->getNumCollisionObjects();
    }
    for (int i = 0; i < count; ++i) {
        btRigidBody* body = btRigidBody::upcast(s.dynamicsWorld->getCollisionObjectArray()[i]);
        if (body == nullptr) continue;
        if (auto* motion = dynamic_cast<btDefaultMotionState*>(body->getMotionState())) {
            motion->m_graphicsWorldTrans = motion->m_startWorldTrans;
            body->setWorldTransform(motion->m_graphicsWorldTrans);
            body->setInterpolationWorldTransform(motion->m_startWorldTrans);
            const auto record = s.bodies.find(body);
            if (record != s.bodies.end() && record->second.restsUntilHit) {
                body->forceActivationState(ISLAND_SLEEPING);
            } else {
                body->activate();
            }
        }
        s.dynamicsWorld->getBroadphase()->getOverlappingPairCache()->cleanProxyFromPairs(
            body->getBroadphaseHandle(), s.dynamicsWorld->getDispatcher());
        if (!body->isStaticObject()) {
            body->setLinearVelocity(btVector3(0, 0, 0));
            body->setAngularVelocity(btVector3(0, 0, 0));
        }
    }
}

void addGround(PhysicsState& s) {
    btCollisionShape* shape = new btStaticPlaneShape(btVector3(0, 0, 1), 0);
    s.collisionShapes.push_back(shape);
    btTransform transform;
    transform.setIdentity();
    transform.setOrigin(btVector3(0, 0, 0));
    const btScalar mass = 0;
    const btVector3 inertia(0, 0, 0);  // static: no inertia from the shape
    auto* motion = new btDefaultMotionState(transform);
    btRigidBody::btRigidBodyConstructionInfo info(mass, motion, shape, inertia);
    s.dynamicsWorld->addRigidBody(new btRigidBody(info));
}

void freeBody(btRigidBody* body, const BodyRecord* record) {
    delete body->getMotionState();
    delete body;
    if (record != nullptr) delete record->ownShape;
}

// Removing a constraint touches its bodies, so constraints go before any body is freed.
void freeEverythingLocked(PhysicsState& s) {
    btDiscreteDynamicsWorld* world = s.dynamicsWorld;
    for (int i = world->getNumConstraints() - 1; i >= 0; --i)
        world->removeConstraint(world->getConstraint(i));
    for (btPoint2PointConstraint* constraint : s.constraints) delete constraint;
    s.constraints.clear();

    for (int i = world->getNumCollisionObjects() - 1; i >= 0; --i) {
        btCollisionObject* object = world->getCollisionObjectArray()[i];
        btRigidBody* body = btRigidBody::upcast(object);
        world->removeCollisionObject(object);
        const auto it = body != nullptr ? s.bodies.find(body) : s.bodies.end();
        if (body != nullptr) {
            freeBody(body, it != s.bodies.end() ? &it->second : nullptr);
            if (it != s.bodies.end()) s.bodies.erase(it);
        } else {
            delete object;
        }
    }
    // Bodies out of the world: the proxies of the motion sets not shown, projectiles taken out.
    for (auto& [body, record] : s.bodies) freeBody(body, &record);
    s.bodies.clear();

    for (int i = 0; i < s.collisionShapes.size(); ++i) delete s.collisionShapes[i];
    s.collisionShapes.clear();
    delete s.projectileShape;
    s.projectileShape = nullptr;
    s.projectiles = 0;
    s.launchPoint = btVector3(0, 0, 0);

    delete s.dynamicsWorld;
    delete s.solver;
    delete s.broadphase;
    delete s.dispatcher;
    delete s.collisionConfiguration;
    s.dynamicsWorld = nullptr;
    s.solver = nullptr;
    s.broadphase = nullptr;
    s.dispatcher = nullptr;
    s.collisionConfiguration = nullptr;
    s.bodyLimit = 0;
}

}  // namespace

void initPhysics(double gravityZ, int screenBodies) {
    PhysicsState& s = state();
    {
        WorldLock lock(s.worldMutex);
        if (s.dynamicsWorld != nullptr) return;
        btDefaultCollisionConstructionInfo constructionInfo;
        s.collisionConfiguration = new btDefaultCollisionConfiguration(constructionInfo);
        s.dispatcher = new btCollisionDispatcher(s.collisionConfiguration);
        s.bodyLimit = bodyLimitFor(screenBodies);
        // Bullet keeps one of the handles for itself.
        const int capacity = s.bodyLimit + 1;
        s.broadphase = new btAxisSweep3(btVector3(-kWorldBound, -kWorldBound, -kWorldBound),
                                        btVector3(kWorldBound, kWorldBound, kWorldBound),
                                        static_cast<unsigned short>(capacity), nullptr);
        s.solver = new btSequentialImpulseConstraintSolver;
        s.dynamicsWorld =
            new btDiscreteDynamicsWorld(s.dispatcher, s.broadphase, s.solver, s.collisionConfiguration);
        s.dynamicsWorld->setGravity(btVector3(0, 0, static_cast<btScalar>(gravityZ)));
        addGround(s);
        resetSceneLocked();
        elapsedMicroseconds();  // restarts the step clock
    }
    physics_detail::startPhysicsThread(s.dynamicsWorld);
}

void exitPhysics() {
    // The world goes only after the thread has ended, so no step can be running on it.
    physics_detail::stopPhysicsThread();
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    if (s.dynamicsWorld == nullptr) return;
    freeEverythingLocked(s);
}

void addBody(btRigidBody* body) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    if (s.dynamicsWorld == nullptr || body == nullptr || body->isInWorld()) return;
    if (!physics_detail::worldHasRoomLocked()) {
        std::printf("body not added: the physics world is full (%d bodies)\n",
                    s.dynamicsWorld->getNumCollisionObjects());
        std::fflush(stdout);
        return;
    }
    s.dynamicsWorld->addRigidBody(body);
}

void removeBody(btRigidBody* body) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    if (s.dynamicsWorld == nullptr || body == nullptr || !body->isInWorld()) return;
    s.dynamicsWorld->removeRigidBody(body);
}

void resetScene() {
    WorldLock lock(state().worldMutex);
    resetSceneLocked();
}

int worldBodyLimit() {
    WorldLock lock(state().worldMutex);
    return state().bodyLimit;
}

bool physicsWorldExists() {
    WorldLock lock(state().worldMutex);
    return state().dynamicsWorld != nullptr;
}

btTransform bodyWorldTransform(const btRigidBody* body) {
    WorldLock lock(state().worldMutex);
    return body != nullptr ? body->getWorldTransform() : btTransform::getIdentity();
}

void setBodyWorldTransform(btRigidBody* body, const btTransform& transform) {
    WorldLock lock(state().worldMutex);
    if (body != nullptr) body->setWorldTransform(transform);
}

void setBodyCenterOfMassTransform(btRigidBody* body, const btTransform& transform) {
    WorldLock lock(state().worldMutex);
    if (body != nullptr) body->setCenterOfMassTransform(transform);
}

bool bodyInWorld(const btRigidBody* body) {
    WorldLock lock(state().worldMutex);
    return body != nullptr && body->isInWorld();
}

void restUntilHit(btRigidBody* body) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    const auto it = s.bodies.find(body);
    if (body == nullptr || it == s.bodies.end()) return;
    it->second.restsUntilHit = true;
    body->forceActivationState(ISLAND_SLEEPING);
}

void destroyBody(btRigidBody* body) {
    PhysicsState& s = state();
    WorldLock lock(s.worldMutex);
    const auto it = s.bodies.find(body);
    if (body == nullptr || it == s.bodies.end()) return;
    // A constraint left on a freed body would be stepped with a dangling reference. (Bodies keep no
    // reference list of their own unless collisions between linked bodies are off.)
    for (int i = s.dynamicsWorld->getNumConstraints() - 1; i >= 0; --i) {
        btTypedConstraint* constraint = s.dynamicsWorld->getConstraint(i);
        if (&constraint->getRigidBodyA() != body && &constraint->getRigidBodyB() != body) continue;
        const auto mine = std::find(s.constraints.begin(), s.constraints.end(), constraint);
        if (mine != s.constraints.end()) {
            physics_detail::releaseConstraintLocked(constraint);
        } else {
            s.dynamicsWorld->removeConstraint(constraint);
        }
    }
    if (body->isInWorld()) s.dynamicsWorld->removeRigidBody(body);
    if (it->second.projectile) --s.projectiles;
    freeBody(body, &it->second);
    s.bodies.erase(it);
}

PhysicsWorldAccess::PhysicsWorldAccess() { state().worldMutex.lock(); }

PhysicsWorldAccess::~PhysicsWorldAccess() { state().worldMutex.unlock(); }

btDiscreteDynamicsWorld* PhysicsWorldAccess::world() const { return state().dynamicsWorld; }

}  // namespace kelmo
