// The brick screen: building the bricks into the physics world, drawing them with a texture.
#include "movie/movie_screen.h"

#include <GL/gl.h>
#include <btBulletDynamicsCommon.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "gl/gl_state.h"
#include "movie/screen_layout.h"
#include "physics/physics_bodies.h"
#include "physics/physics_world.h"

namespace kelmo {
namespace {

// GL thread only.
struct ScreenState {
    std::vector<ScreenPiece> pieces;  // top row first, each row from left to right
    int columns = 0;
    int rows = 0;
    double pieceWidth = -1.0;  // -1 until built
    double pieceHeight = -1.0;
    bool refused = false;
};

ScreenState& screen() {
    static ScreenState state;
    return state;
}

// After the console line: the screen is refused until releaseScreen.
bool refuse() {
    std::fflush(stdout);
    screen().refused = true;
    return false;
}

// Takes the world lock itself: the bricks go in together, so a step never sees half a screen.
bool addBricks(const ScreenLayout& layout, float mass, std::vector<ScreenPiece>& pieces) {
    PhysicsWorldAccess access;
    if (access.world() == nullptr) {
        std::printf("movie screen not built: there is no physics world\n");
        return refuse();
    }
    const long long bricks = static_cast<long long>(layout.columns) * layout.rows;
    const int inWorld = access.world()->getNumCollisionObjects();
    const int room = worldBodyLimit() - inWorld;
    if (bricks > room) {
        std::printf(
            "movie screen not built: its %lld bricks do not fit in the physics world (%d bodies in it, "
            "room for %d more)\n",
            bricks, inWorld, room);
        return refuse();
    }

    pieces.reserve(static_cast<size_t>(bricks));
    PhysicsWorldAccess asOne;  // no step between a brick and the one it stands on
    for (int row = layout.rows - 1; row >= 0; --row) {
        for (int column = 0; column < layout.columns; ++column) {
            const PieceGeometry g = pieceGeometry(layout, column, row);
            const btVector3 centre(static_cast<btScalar>(g.centre[0]), static_cast<btScalar>(g.centre[1]),
                                   static_cast<btScalar>(g.centre[2]));
            btRigidBody* body =
                createBoxBody(mass, static_cast<float>(g.boxSize[0]), static_cast<float>(g.boxSize[1]),
                              static_cast<float>(g.boxSize[2]), centre, nullptr);
            if (body == nullptr || !bodyInWorld(body)) {
                destroyBody(body);
                for (const ScreenPiece& piece : pieces) destroyBody(piece.body);
                pieces.clear();
                std::printf(
                    "movie screen not built: brick (%d, %d) is %g x %g x %g at (%g, %g, %g), "
                    "which the physics world does not take\n",
                    column, row, g.boxSize[0], g.boxSize[1], g.boxSize[2], g.centre[0], g.centre[1],
                    g.centre[2]);
                return refuse();
            }
            restUntilHit(body);
            ScreenPiece piece{body, {}};
            for (int k = 0; k < 4; ++k) {
                piece.texCoords[k][0] = g.texCoords[k][0];
                piece.texCoords[k][1] = g.texCoords[k][1];
            }
            pieces.push_back(piece);
        }
    }
    return true;
}

}  // namespace

bool buildScreen(double posX, double posY, double posZ, double size, float mass, int pictureWidth,
                 int pictureHeight, int columns, int rows) {
    ScreenState& s = screen();
    if (isScreenBuilt()) return true;
    if (s.refused) return false;
    if (columns < 1 || rows < 1) {
        std::printf(
            "movie screen not built: SCREEN_DIVIDE_W and SCREEN_DIVIDE_H must be at least 1 (they give %d "
            "x %d bricks)\n",
            columns, rows);
        return refuse();
    }
    if (pictureWidth < 1 || pictureHeight < 1) {
        std::printf("movie screen not built: the movie picture is %d x %d pixels\n", pictureWidth,
                    pictureHeight);
        return refuse();
    }
    // A NaN or infinite brick would spread through the solver; a negative mass or size is no brick.
    if (!(size > 0) || !std::isfinite(size) || !(mass >= 0) || !std::isfinite(mass) || !std::isfinite(posX) ||
        !std::isfinite(posY) || !std::isfinite(posZ)) {
        std::printf(
            "movie screen not built: SCREEN_SIZE %g, SCREEN_MASS %g or the position (%g, %g, %g) is not "
            "usable\n",
            size, static_cast<double>(mass), posX, posY, posZ);
        return refuse();
    }

    const ScreenLayout layout =
        layoutScreen(posX, posY, posZ, size, pictureWidth, pictureHeight, columns, rows);
    std::vector<ScreenPiece> pieces;
    if (!addBricks(layout, mass, pieces)) return false;
    s.pieces = std::move(pieces);
    s.columns = columns;
    s.rows = rows;
    s.pieceWidth = layout.pieceWidth;
    s.pieceHeight = layout.pieceHeight;
    return true;
}

bool isScreenBuilt() { return screen().pieceWidth != -1.0; }

bool screenRefused() { return screen().refused; }

void drawScreenPiece(const ScreenPiece& piece) {
    const ScreenState& s = screen();
    if (piece.body == nullptr || !isScreenBuilt()) return;
    btScalar single[16];
    bodyWorldTransform(piece.body).getOpenGLMatrix(single);
    GLdouble matrix[16];
    for (int k = 0; k < 16; ++k) matrix[k] = single[k];
    const double w = s.pieceWidth / 2;
    const double h = s.pieceHeight / 2;

    const PushedModelview pushed;
    glMultMatrixd(matrix);
    glColor4i(0, 0, 0, 1);
    glNormal3i(0, -1, 0);
    // In the box's middle plane, counter-clockwise seen from -y, where the screen faces.
    glBegin(GL_POLYGON);
    glTexCoord2fv(piece.texCoords[0]);
    glVertex3d(-w, 0, h);
    glTexCoord2fv(piece.texCoords[1]);
    glVertex3d(-w, 0, -h);
    glTexCoord2fv(piece.texCoords[2]);
    glVertex3d(w, 0, -h);
    glTexCoord2fv(piece.texCoords[3]);
    glVertex3d(w, 0, h);
    glEnd();
}

void drawScreen(unsigned int texture) {
    const ScreenState& s = screen();
    if (s.pieces.empty()) return;

    const SavedMaterial material = saveMaterial(GL_FRONT);  // put back on both faces
    const GLfloat green[4] = {0, 1, 0, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, green);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, green);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, green);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, green);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.1f);
    glColor4fv(green);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_ALPHA_TEST);

    const bool textureWasOn = glIsEnabled(GL_TEXTURE_2D) == GL_TRUE;
    GLint boundTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    const bool blendWasOn = glIsEnabled(GL_BLEND) == GL_TRUE;
    GLint blendSource = GL_ONE;
    GLint blendDestination = GL_ZERO;
    glGetIntegerv(GL_BLEND_SRC, &blendSource);
    glGetIntegerv(GL_BLEND_DST, &blendDestination);

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, texture);
    // The picture's colour and alpha replace the vertex colour: the movie's alpha makes the screen
    // see-through.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);

    // The list holds the top row first; the bottom row is drawn first.
    for (int block = s.rows - 1; block >= 0; --block)
        for (int column = 0; column < s.columns; ++column)
            drawScreenPiece(s.pieces[static_cast<size_t>(block) * s.columns + column]);

    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    glBlendFunc(static_cast<GLenum>(blendSource), static_cast<GLenum>(blendDestination));
    setEnabled(GL_BLEND, blendWasOn);
    setEnabled(GL_TEXTURE_2D, textureWasOn);
    restoreMaterial(GL_FRONT_AND_BACK, material);
}

void releaseScreen() { screen() = ScreenState{}; }

int screenDivision(double value) {
    // The INI value is any double (nan, -3, 1e12): converting those to int unchecked is undefined.
    if (!(value >= 1)) return 0;
    return value >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

int screenBrickCount(double divideW, double divideH) {
    const long long bricks = static_cast<long long>(screenDivision(divideW)) * screenDivision(divideH);
    return bricks >= INT_MAX ? INT_MAX : static_cast<int>(bricks);
}

}  // namespace kelmo
