#pragma once
// The scene of one frame: the invisible floor that takes the shadow, the character on its physics
// proxy, and the projectiles or every physics body; and the fixed-eye view of it drawn off-screen.
#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "app/motion_sets.h"

class btRigidBody;

namespace kelmo {

class Framebuffer;

struct SceneContents {
    const MotionRecord* motion = nullptr;                   // the shown motion set
    uint32_t frame = 0;                                     // its animation frame to draw
    const std::vector<btRigidBody*>* projectiles = nullptr;
    bool showAllBodies = false;                             // every physics body instead of the projectiles
    unsigned int movieTexture = 0;    // the movie picture on the brick screen; 0: no screen
    unsigned int overlayTexture = 0;  // the off-screen character view laid over the movie; 0: none
};

// Projection for the off-screen view: a fixed eye in front of and above the marker, looking at
// (centerX, centerY, centerZ).
void setupTargetView(int width, int height, double centerX, double centerY, double centerZ);

// Draws the scene in the current modelview (the marker's); floorHalfSize <= 0 leaves out the floor.
void drawScene(double floorHalfSize, const SceneContents& scene);

// The character seen from the fixed eye (no floor, no screen), drawn into target over a transparent
// dark background; the viewport, the projection and the clear colour are restored afterwards.
void drawTargetView(const Framebuffer& target, const SceneContents& scene);

}  // namespace kelmo
