#pragma once
// Bodies drawn as coloured boxes (the physics view and the projectiles). GL thread; the drawing of
// bodies reads their transforms under the world lock.
#include <btBulletDynamicsCommon.h>

namespace kelmo {

// matrix: 16 floats in OpenGL column order. Boxes become a solid cube; other shapes draw nothing.
// Sets the current colour and the material of both faces to the colour, and leaves them set.
void drawShape(const float matrix[16], const btCollisionShape* shape, const btVector3& colour);
// Every collision object of the world, coloured by index parity and activation state.
void drawAllBodies();
// One body in the even-index colours.
void drawBody(const btRigidBody* body);

}  // namespace kelmo
