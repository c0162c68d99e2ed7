#pragma once
// Writes small AVI movies with FFmpeg's own encoders: the demo's movie and the movie tests' files.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kelmo {

enum class MovieVideoCodec { Mjpeg, Mpeg4 };
enum class MovieSoundCodec { None, Pcm, Mp2 };

struct MovieSpec {
    int width = 320;
    int height = 240;
    int framesPerSecond = 25;
    MovieVideoCodec video = MovieVideoCodec::Mjpeg;
    // Frame i is shown from tick frameTicks[i] (ticks of 1 / framesPerSecond) until the next frame;
    // empty means one frame per tick, frameCount frames.
    std::vector<int64_t> frameTicks;
    int frameCount = 25;
    // Paints frame `index` as top-down RGB24 rows, `stride` bytes apart.
    std::function<void(int index, uint8_t* rgb, int stride)> paint;
    int quality = 2;  // encoder quantiser, 2 (best) to 31

    MovieSoundCodec sound = MovieSoundCodec::None;
    int sampleRate = 44100;
    int channels = 1;
    double soundSeconds = 1.0;
    double toneHz = 440.0;

    // False leaves out the file's index, as a recording cut off before its end would.
    bool index = true;
};

// False, with the reason, when the file cannot be written.
bool writeMovie(const std::string& path, const MovieSpec& spec, std::string& error);

}  // namespace kelmo
