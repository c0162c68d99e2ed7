#pragma once
// The movie as the GL thread sees it: start-up, a request per camera frame, the picture's upload
// into one texture, shutdown. Decoding happens on the movie thread (movie/movie_thread.h).
#include <cstdint>

#include "movie/movie_config.h"

namespace kelmo {

// Starts the movie thread when config.file is set. False (and nothing started) without a movie, or
// when the thread could not start (one console line then). GL thread, context current.
bool movieInit(const MovieConfig& config);
// Once per camera frame on the GL thread: posts open / start / next-frame to the movie thread as its
// state says (nothing while opening). nowMilliseconds: steadyMilliseconds() truncated to 32 bits.
void movieRequest(uint32_t nowMilliseconds, uint8_t alpha);
// GL thread: uploads the newest picture into the movie texture; returns its name, 0 while there is none.
unsigned int movieUploadFrame();
// Size of the last upload, (-1, -1) when the last upload found no picture.
void movieFrameSize(int& width, int& height);
// Ends and joins the movie thread, deletes the texture (GL thread, context alive). Safe to call twice
// or without movieInit.
void movieShutdown();

}  // namespace kelmo
