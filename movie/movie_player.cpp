#include "movie/movie_player.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "movie/movie_shared.h"
#include "movie/movie_thread.h"
#include "platform/thread_message_queue.h"

namespace kelmo {
namespace {

struct Player {
    std::string path;
    MovieShared shared;
    ThreadMessageQueue queue;
    std::unique_ptr<MovieThread> worker;  // runs on `thread`; made and destroyed here
    std::thread thread;
    // GL thread only.
    GLuint texture = 0;
    int uploadedWidth = -1;
    int uploadedHeight = -1;
};

// GL thread only; null without a movie. Never destroyed behind movieShutdown's back: a process that
// exits without it must not end on a joinable thread.
Player* player = nullptr;

}  // namespace

bool movieInit(const MovieConfig& config) {
    if (player) return true;
    const std::string path(config.file, strnlen(config.file, sizeof config.file));
    if (path.empty()) return false;
    auto made = std::make_unique<Player>();
    made->path = path;
    made->worker = std::make_unique<MovieThread>(path, made->shared, made->queue);
    try {
        made->thread = std::thread(&MovieThread::run, made->worker.get());
    } catch (const std::system_error& error) {
        std::printf("Movie: cannot start the movie thread (%s); %s is not shown\n", error.what(),
                    path.c_str());
        std::fflush(stdout);
        return false;
    }
    glGenTextures(1, &made->texture);
    player = made.release();
    return true;
}

void movieRequest(uint32_t nowMilliseconds, uint8_t alpha) {
    if (player) postMovieRequest(player->shared, player->queue, nowMilliseconds, alpha);
}

unsigned int movieUploadFrame() {
    if (!player) return 0;
    Player& p = *player;
    const bool uploaded = p.shared.usePicture([&p](const uint8_t* rgba, int width, int height) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, p.texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        glBindTexture(GL_TEXTURE_2D, 0);
        p.uploadedWidth = width;
        p.uploadedHeight = height;
    });
    if (!uploaded) p.uploadedWidth = p.uploadedHeight = -1;
    return p.uploadedWidth != -1 ? p.texture : 0;
}

void movieFrameSize(int& width, int& height) {
    width = player ? player->uploadedWidth : -1;
    height = player ? player->uploadedHeight : -1;
}

void movieShutdown() {
    if (!player) return;
    player->queue.postQuit();
    player->thread.join();
    player->worker.reset();
    glDeleteTextures(1, &player->texture);
    delete player;
    player = nullptr;
}

}  // namespace kelmo
