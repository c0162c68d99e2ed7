#pragma once
// Movie and movie-screen settings, read from Kelmo.ini by app/.

namespace kelmo {

struct MovieConfig {
    char file[256];     // the movie to play; empty means no movie
    double screenSize;  // length of the picture's longer side, marker units
    double screenPosX;  // screen position in marker units
    double screenPosY;
    double screenPosZ;
    double screenDivideW;  // subdivision counts, truncated to integers where the screen is built
    double screenDivideH;
};

}  // namespace kelmo
