#include "app/scene_drawing.h"

#include <btBulletDynamicsCommon.h>
#include <GL/glu.h>

#include "movie/movie_screen.h"
#include "physics/body_drawing.h"
#include "physics/physics_world.h"
#include "render/frame_renderer.h"
#include "render/framebuffer.h"

namespace kelmo {

void setupTargetView(int width, int height, double centerX, double centerY, double centerZ) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, static_cast<double>(width) / height, 10.0, 10000.0);
    gluLookAt(0.0, -100.0, 50.0, centerX, centerY, centerZ, 0.0, 0.0, 1.0);
}

void drawScene(double floorHalfSize, const SceneContents& scene) {
    if (floorHalfSize > 0.0) drawFloor(floorHalfSize, 0.0f);

    const MotionRecord* motion = scene.motion;
    if (motion && motion->sequence) {
        glPushMatrix();
        if (motion->body) {
            btScalar bodyMatrix[16];
            bodyWorldTransform(motion->body).getOpenGLMatrix(bodyMatrix);
            double matrix[16];
            for (int i = 0; i < 16; ++i) matrix[i] = bodyMatrix[i];
            glMultMatrixd(matrix);
        }
        glTranslatef(motion->modelOffset[0], motion->modelOffset[1], motion->modelOffset[2]);
        motion->sequence->drawFrame(scene.frame, 255);
        glPopMatrix();
    }

    glPushMatrix();
    if (scene.movieTexture != 0) drawScreen(scene.movieTexture);
    // The view's background has alpha 0, so the movie shows around the character.
    if (scene.overlayTexture != 0) drawScreen(scene.overlayTexture);
    glPopMatrix();

    if (scene.showAllBodies) {
        glPushMatrix();
        drawAllBodies();
        glPopMatrix();
    } else if (scene.projectiles) {
        for (const btRigidBody* projectile : *scene.projectiles) {
            glPushMatrix();
            drawBody(projectile);
            glPopMatrix();
        }
    }
}

void drawTargetView(const Framebuffer& target, const SceneContents& scene) {
    GLfloat savedClear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, savedClear);
    target.bind();
    glClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    GLint savedViewport[4];
    glGetIntegerv(GL_VIEWPORT, savedViewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();

    float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    if (scene.motion && scene.motion->sequence) {
        scene.motion->sequence->boundsMin(-1, low);
        scene.motion->sequence->boundsMax(-1, high);
    }
    setupTargetView(target.width(), target.height(), 0.0, 0.0, high[2] - low[2]);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SceneContents characterOnly = scene;
    characterOnly.movieTexture = 0;
    characterOnly.overlayTexture = 0;
    drawScene(-1.0, characterOnly);

    Framebuffer::unbind();
    glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glClearColor(savedClear[0], savedClear[1], savedClear[2], savedClear[3]);
}

}  // namespace kelmo
