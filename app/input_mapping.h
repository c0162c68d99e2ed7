#pragma once
// Keys and the remote's buttons into ControlState, which the character update reads once per frame.
// Main thread only.
#include "wiimote/wii_report.h"

namespace kelmo {

struct ControlState {
    double heading;  // degrees on the marker plane: 0 towards -Y, 90 towards +X, 180 +Y, 270 -X
    double speed;    // movement value requested for this frame; a motion set's value selects that set
    // A direction was asked for this frame. Only then does the character move: a stay set with a
    // movement value of its own (all three default to 10) would otherwise walk off for ever.
    bool directionRequested;
    bool quitRequested;
    bool fireRequested;
    bool resetRequested;
    bool shadowsEnabled;
    bool physicsViewEnabled;
};

extern ControlState controlState;  // zero at start
// Movement values of the stay, walk and run sets; start-up replaces them with the loaded sets' values.
extern double stayValue, walkValue, runValue;

// The window's keyboard callback; the mouse position is ignored.
void onKeyboard(unsigned char key, int x, int y);
// Asks the remote for a fresh snapshot, then maps the latest one onto controlState.
void applyWiiButtons();
// The button rules alone: the first matching rule acts, in the order D-pad down, up, left, right,
// Home, One, Two, Plus, Minus.
void applyButtons(const WiiButtons& buttons, ControlState& state);

}  // namespace kelmo
