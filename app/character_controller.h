#pragma once
// The character controller: the frame's ControlState turned into firing, the reset, the choice of
// motion set, the heading and the drag that walks the proxy body. Main thread only.
#include <cstdint>
#include <vector>

#include "app/input_mapping.h"
#include "app/motion_sets.h"

class btRigidBody;

namespace kelmo {

// What the controller moves; the frame loop owns one and draws from it.
struct CharacterScene {
    std::vector<MotionRecord> motions;      // 0 stay, 1 walk, 2 run
    int currentMotion = 0;                  // index into motions; its body is the one in the world
    uint32_t currentFrame = 0;              // animation frame of the current set to draw next
    std::vector<btRigidBody*> projectiles;  // live projectiles, oldest first
    bool toldWorldFull = false;             // the refused-switch line is said once
};

// Steps after the remote's buttons and the quit: fire, reset, motion-set choice, turn, move, and the
// speed back to stayValue. Calls only the physics module's own operations.
void controlCharacter(CharacterScene& scene, ControlState& control);

// Heading in degrees to radians; heading 0 is exactly 0.
double headingRadians(double heading);

// Every live projectile leaves the world and is freed; the list is emptied.
void destroyProjectiles(std::vector<btRigidBody*>& projectiles);

}  // namespace kelmo
