#pragma once
// The movie screen: a wall of loose bricks in the physics world, each drawn as one textured quad
// that carries its own part of the picture, so projectiles break the picture up with the wall.
// GL thread only. The bricks' bodies belong to the physics world; their transforms are read under
// its lock.
class btRigidBody;

namespace kelmo {

struct ScreenPiece {
    btRigidBody* body;  // not owned: the physics world frees it in exitPhysics
    // (s, t) per corner in drawing order: top-left, bottom-left, bottom-right, top-right.
    float texCoords[4][2];
};

// Builds the bricks at once (the physics world must exist): columns × rows boxes of mass `mass`
// each, for a picture of pictureWidth × pictureHeight pixels whose longer side becomes size long.
// Position and size are marker units (see movie/screen_layout.h). True when built, or built already.
// False, with one console line the first time, when columns or rows < 1, the picture, size, mass or
// position cannot make a screen, or the bricks cannot all get into the world (then none is left in
// it); the screen then stays unbuilt and screenRefused() is true, so the caller stops asking.
bool buildScreen(double posX, double posY, double posZ, double size, float mass, int pictureWidth,
                 int pictureHeight, int columns, int rows);
bool isScreenBuilt();
bool screenRefused();
// Every piece with the texture, its alpha blended over what is drawn already; nothing at all before
// buildScreen. Saves and restores the material, the texture binding and switch, and the blending;
// leaves depth and alpha testing on.
void drawScreen(unsigned int texture);
// One piece at its body's present transform, in the current modelview.
void drawScreenPiece(const ScreenPiece& piece);
// Forgets the pieces and any refusal. The bodies stay with the physics world, and exitPhysics frees
// them: call this when exitPhysics runs, since the pieces point at them.
void releaseScreen();

// Bricks a screen of SCREEN_DIVIDE_W × SCREEN_DIVIDE_H makes: each truncated toward zero, 0 when
// either is below 1 (or not a number), and at most the largest int. For the start-up check against
// kMaxScreenBodies.
int screenBrickCount(double divideW, double divideH);
// A SCREEN_DIVIDE value as a whole number of bricks: cut, 0 below 1 or not a number, at most INT_MAX.
int screenDivision(double value);

}  // namespace kelmo
