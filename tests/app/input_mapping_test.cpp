#include "app/input_mapping.h"

#include <gtest/gtest.h>

namespace kelmo {
namespace {

class InputMapping : public ::testing::Test {
protected:
    void SetUp() override {
        controlState = ControlState{};
        stayValue = 1.0;  // apart from the other two, so every speed tells which it is
    }
    void TearDown() override { stayValue = 0.0; }

    // The rules applied to a state that already has a heading and the stay speed.
    static ControlState applied(WiiButtons buttons) {
        ControlState state{};
        state.heading = 999.0;
        state.speed = stayValue;
        applyButtons(buttons, state);
        return state;
    }
};

TEST_F(InputMapping, KeyboardTable) {
    const struct {
        unsigned char key;
        double heading;
    } directions[] = {{'2', 0.0},   {'3', 45.0},  {'6', 90.0},  {'9', 135.0},
                      {'8', 180.0}, {'7', 225.0}, {'4', 270.0}, {'1', 315.0}};
    for (const auto& d : directions) {
        controlState.speed = stayValue;
        onKeyboard(d.key, 0, 0);
        EXPECT_EQ(controlState.heading, d.heading) << d.key;
        EXPECT_EQ(controlState.speed, walkValue) << d.key;
    }
    onKeyboard('5', 0, 0);
    EXPECT_EQ(controlState.heading, 315.0);
    EXPECT_EQ(controlState.speed, stayValue);

    onKeyboard('s', 0, 0);
    onKeyboard('S', 0, 0);
    onKeyboard('r', 0, 0);
    EXPECT_TRUE(controlState.shadowsEnabled);
    onKeyboard('s', 0, 0);
    EXPECT_FALSE(controlState.shadowsEnabled);
    onKeyboard('!', 0, 0);
    EXPECT_TRUE(controlState.physicsViewEnabled);
    onKeyboard('"', 0, 0);
    EXPECT_FALSE(controlState.physicsViewEnabled);
    onKeyboard('C', 0, 0);
    EXPECT_FALSE(controlState.resetRequested);
    onKeyboard('c', 0, 0);
    onKeyboard(' ', 0, 0);
    onKeyboard(27, 0, 0);
    EXPECT_TRUE(controlState.resetRequested && controlState.fireRequested && controlState.quitRequested);
    EXPECT_EQ(controlState.heading, 315.0);
}

TEST_F(InputMapping, OnlyTheFirstMatchingButtonRuleActs) {
    WiiButtons b{};
    b.down = 0x04, b.up = 0x08;
    EXPECT_EQ(applied(b).heading, 0.0);  // down wins over up
    EXPECT_EQ(applied(b).speed, walkValue);
    b.left = 0x01, b.right = 0x02;
    EXPECT_EQ(applied(b).heading, 45.0);  // right wins over left
    b.down = 0;
    EXPECT_EQ(applied(b).heading, 135.0);
    b.right = 0, b.b = 0x04;
    EXPECT_EQ(applied(b).heading, 225.0);
    EXPECT_EQ(applied(b).speed, runValue);

    b = WiiButtons{};
    b.left = 0x01, b.right = 0x02, b.home = 0x80;
    EXPECT_EQ(applied(b).heading, 270.0);
    EXPECT_FALSE(applied(b).resetRequested);  // a direction with Home: the reset waits
    b.left = 0;
    EXPECT_EQ(applied(b).heading, 90.0);

    b = WiiButtons{};
    b.home = 0x80, b.one = 0x02;
    EXPECT_TRUE(applied(b).resetRequested);
    EXPECT_FALSE(applied(b).physicsViewEnabled);
    EXPECT_EQ(applied(b).heading, 999.0);
    EXPECT_EQ(applied(b).speed, stayValue);
    b.home = 0, b.two = 0x01;
    EXPECT_TRUE(applied(b).physicsViewEnabled);

    ControlState state{};
    state.physicsViewEnabled = state.shadowsEnabled = true;
    b = WiiButtons{};
    b.two = 0x01, b.plus = 0x10, b.a = 0x08;
    applyButtons(b, state);
    EXPECT_FALSE(state.physicsViewEnabled);
    EXPECT_TRUE(state.shadowsEnabled);
    b.two = 0, b.minus = 0x10;
    applyButtons(b, state);
    EXPECT_TRUE(state.shadowsEnabled);  // plus before minus
    b.plus = 0;
    applyButtons(b, state);
    EXPECT_FALSE(state.shadowsEnabled);
}

TEST_F(InputMapping, WithoutARemoteTheButtonsChangeNothing) {
    onKeyboard('8', 0, 0);
    applyWiiButtons();
    EXPECT_EQ(controlState.heading, 180.0);
    EXPECT_EQ(controlState.speed, walkValue);
}

}  // namespace
}  // namespace kelmo
