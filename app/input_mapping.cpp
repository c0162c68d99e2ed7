#include "app/input_mapping.h"

#include "wiimote/wii_remote_input.h"

namespace kelmo {

ControlState controlState{};
double stayValue = 0.0, walkValue = 20.0, runValue = 40.0;

namespace {

constexpr unsigned char kEscape = 27;

// The numeric keypad as a compass round the 5 key: the heading each digit walks towards.
struct KeypadHeading {
    unsigned char key;
    double heading;
};
constexpr KeypadHeading kKeypadHeadings[] = {{'2', 0.0},   {'3', 45.0},  {'6', 90.0},  {'9', 135.0},
                                             {'8', 180.0}, {'7', 225.0}, {'4', 270.0}, {'1', 315.0}};

// True, having started a walk, when the key is one of the keypad's eight directions.
bool walkByKeypad(unsigned char key, ControlState& state) {
    for (const KeypadHeading& k : kKeypadHeadings) {
        if (k.key != key) continue;
        state.heading = k.heading;
        state.speed = walkValue;
        state.directionRequested = true;
        return true;
    }
    return false;
}

// B held runs, otherwise walks.
void move(const WiiButtons& buttons, ControlState& state, double heading) {
    state.heading = heading;
    state.speed = buttons.b ? runValue : walkValue;
    state.directionRequested = true;
}

}  // namespace

void onKeyboard(unsigned char key, int /*x*/, int /*y*/) {
    ControlState& state = controlState;
    if (walkByKeypad(key, state)) return;
    switch (key) {
        case kEscape:
            state.quitRequested = true;
            break;
        case ' ':
            state.fireRequested = true;
            break;
        case '!':
            state.physicsViewEnabled = true;
            break;
        case '"':
            state.physicsViewEnabled = false;
            break;
        case 's':
            state.shadowsEnabled = !state.shadowsEnabled;
            break;
        case 'c':
            state.resetRequested = true;
            break;
        case '5':
            state.speed = stayValue;
            state.directionRequested = false;
            break;  // stops, still facing the last heading
        case 'r':
            break;  // reserved
        default:
            break;
    }
}

void applyButtons(const WiiButtons& buttons, ControlState& state) {
    if (buttons.down) {
        double heading = 0.0;
        if (buttons.left) heading = 315.0;
        if (buttons.right) heading = 45.0;
        move(buttons, state, heading);
    } else if (buttons.up) {
        double heading = 180.0;
        if (buttons.left) heading = 225.0;
        if (buttons.right) heading = 135.0;
        move(buttons, state, heading);
    } else if (buttons.left) {
        move(buttons, state, 270.0);
    } else if (buttons.right) {
        move(buttons, state, 90.0);
    } else if (buttons.home) {
        state.resetRequested = true;
    } else if (buttons.one) {
        state.physicsViewEnabled = true;
    } else if (buttons.two) {
        state.physicsViewEnabled = false;
    } else if (buttons.plus) {
        state.shadowsEnabled = true;
    } else if (buttons.minus) {
        state.shadowsEnabled = false;
    }
}

void applyWiiButtons() {
    requestWiiState();
    applyButtons(getWiiState(), controlState);
}

}  // namespace kelmo
