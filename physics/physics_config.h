#pragma once
// Physics settings, read from Kelmo.ini by app/.

namespace kelmo {

struct PhysicsConfig {
    double gravity;     // along the marker's z axis (z up), marker units per second squared
    double modelMass;   // of each character proxy body
    double screenMass;  // of each brick of the movie screen
};

}  // namespace kelmo
