// The GL thread's calls: nothing before a movie, the picture uploaded at the movie's own size with
// its alpha, and a shutdown that may come twice.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "movie/movie_player.h"
#include "tests/movie/movie_files.h"
#include "tests/support/gl_window.h"

namespace kelmo {
namespace {

using namespace testing_support;

MovieConfig configFor(const std::string& path) {
    MovieConfig config{};
    std::strncpy(config.file, path.c_str(), sizeof config.file - 1);
    return config;
}

TEST(MoviePlayer, UploadsThePictureForTheRequestedTimeAtTheMovieSize) {
    KELMO_REQUIRE_GL_WINDOW(128);  // the size movie_screen_gl_test draws at: one window per binary
    useDummyAudio();
    int width = 0, height = 0;
    EXPECT_FALSE(movieInit(configFor("")));
    EXPECT_EQ(movieUploadFrame(), 0u);
    movieFrameSize(width, height);
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);

    MovieSpec spec = numberedMovie(321, 41, 50);
    spec.sound = MovieSoundCodec::Pcm;
    ASSERT_TRUE(movieInit(configFor(writeTestMovie("gl.avi", spec))));
    // Requests at 7000 ms open and start the movie and show frame 0; requests 0.56 s later, frame 14.
    std::vector<uint8_t> texels(321 * 41 * 4);
    unsigned int texture = 0;
    auto showsFrame = [&](uint32_t now, int number) {
        return waitFor([&] {
            movieRequest(now, 127);
            texture = movieUploadFrame();
            if (texture == 0) return false;
            glBindTexture(GL_TEXTURE_2D, texture);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            glBindTexture(GL_TEXTURE_2D, 0);
            const uint8_t* p = &texels[(10 * 321 + 160) * 4];
            return numberFromColour(p[0], p[1]) == number && (p[0] | p[1]) != 0;
        });
    };
    const bool shown = showsFrame(7000, 0) && showsFrame(7560, 14);
    if (!shown) movieShutdown();
    ASSERT_TRUE(shown);
    movieFrameSize(width, height);
    EXPECT_EQ(width, 321);
    EXPECT_EQ(height, 41);
    EXPECT_EQ(texels[(10 * 321 + 160) * 4 + 3], 127);
    const uint8_t* top = &texels[(40 * 321 + 320) * 4];  // the last texture row is the picture's top
    EXPECT_GT(top[0] + top[1] + top[2], 3 * 240);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

    movieShutdown();
    movieShutdown();
    EXPECT_EQ(movieUploadFrame(), 0u);
    EXPECT_FALSE(glIsTexture(texture));
}

}  // namespace
}  // namespace kelmo
