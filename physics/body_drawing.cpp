// Coloured boxes for bodies: the shape drawing, the per-body colours, the whole world.
#include "physics/body_drawing.h"

#include <GL/freeglut.h>

#include <mutex>

#include "gl/gl_state.h"
#include "physics/physics_state.h"

namespace kelmo {
namespace {

using physics_detail::state;

// The transform drawing uses: the motion state's, which Bullet interpolates between fixed steps.
void drawingMatrix(const btCollisionObject& object, float matrix[16]) {
    const btRigidBody* body = btRigidBody::upcast(&object);
    const btMotionState* motion = body != nullptr ? body->getMotionState() : nullptr;
    if (const auto* standard = dynamic_cast<const btDefaultMotionState*>(motion)) {
        standard->m_graphicsWorldTrans.getOpenGLMatrix(matrix);
    } else if (motion != nullptr) {
        btTransform transform;
        motion->getWorldTransform(transform);
        transform.getOpenGLMatrix(matrix);
    } else {
        object.getWorldTransform().getOpenGLMatrix(matrix);
    }
}

// By index parity, plus a shade for awake or asleep; components above 1 are left to OpenGL's clamping.
btVector3 bodyColour(int index, int activationState) {
    const bool even = index % 2 == 0;
    btVector3 colour = even ? btVector3(1, 1, 0.5f) : btVector3(0, 0, 1);
    if (activationState == ACTIVE_TAG) colour += even ? btVector3(0.5f, 0, 0) : btVector3(1, 0, 0);
    if (activationState == ISLAND_SLEEPING) colour += even ? btVector3(0, 0.5f, 0) : btVector3(0, 1, 0);
    return colour;
}

void drawObject(const btCollisionObject& object, int index) {
    float matrix[16];
    drawingMatrix(object, matrix);
    drawShape(matrix, object.getCollisionShape(), bodyColour(index, object.getActivationState()));
}

}  // namespace

void drawShape(const float matrix[16], const btCollisionShape* shape, const btVector3& colour) {
    if (matrix == nullptr || shape == nullptr) return;
    const PushedModelview pushed;
    glMultMatrixf(matrix);

    glColor3f(colour.x(), colour.y(), colour.z());
    const GLfloat material[4] = {colour.x(), colour.y(), colour.z(), 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, material);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.1f);

    if (shape->getShapeType() == BOX_SHAPE_PROXYTYPE) {
        const btVector3 size = static_cast<const btBoxShape*>(shape)->getHalfExtentsWithMargin() * 2;
        GLint frontFace = GL_CCW;
        glGetIntegerv(GL_FRONT_FACE, &frontFace);
        glFrontFace(GL_CW);
        glScalef(size.x(), size.y(), size.z());
        glutSolidCube(1.0);
        glFrontFace(static_cast<GLenum>(frontFace));
    }
}

void drawAllBodies() {
    std::lock_guard<std::recursive_mutex> lock(state().worldMutex);
    const btDiscreteDynamicsWorld* world = state().dynamicsWorld;
    if (world == nullptr) return;
    const btCollisionObjectArray& objects = world->getCollisionObjectArray();
    for (int i = 0; i < objects.size(); ++i) drawObject(*objects[i], i);
}

void drawBody(const btRigidBody* body) {
    if (body == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(state().worldMutex);
    drawObject(*body, 0);
}

}  // namespace kelmo
