// kelmo-demo-movie OUT.avi: the demo's movie, five seconds of a moving picture with a tone.
// A ball bounces over a scrolling colour field; the stripe at the bottom fills up with the frames
// and the squares at the top count them in binary, so a paused or skipping movie is easy to see.
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/demo/movie_writer.h"

namespace {

constexpr int kWidth = 320, kHeight = 240, kFramesPerSecond = 25, kSeconds = 5;
constexpr int kFrames = kFramesPerSecond * kSeconds;

void paintFrame(int index, uint8_t* rgb, int stride) {
    const double t = double(index) / kFramesPerSecond;
    const double ballX = 40 + (kWidth - 80) * (0.5 + 0.5 * std::sin(t * 2.1));
    const double ballY = 60 + (kHeight - 120) * std::fabs(std::cos(t * 3.3));
    const int filled = (index + 1) * kWidth / kFrames;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = rgb + y * stride + x * 3;
            p[0] = uint8_t((x + index * 4) % 256);
            p[1] = uint8_t((y * 255) / kHeight);
            p[2] = uint8_t(160 - (x + y + index * 2) % 96);
            const double dx = x - ballX, dy = y - ballY;
            if (dx * dx + dy * dy < 26 * 26) p[0] = 255, p[1] = 220, p[2] = 40;
            if (y >= kHeight - 14) {
                const bool on = x < filled;
                p[0] = p[1] = p[2] = on ? 255 : 30;
            }
            if (y >= 6 && y < 22) {
                const int bit = (x - 8) / 20;
                if (x >= 8 && bit < 8 && (x - 8) % 20 < 16) {
                    const bool on = (index >> (7 - bit)) & 1;
                    p[0] = p[1] = p[2] = on ? 255 : 0;
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelmo-demo-movie OUT.avi\n");
        return 2;
    }
    kelmo::MovieSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.framesPerSecond = kFramesPerSecond;
    spec.video = kelmo::MovieVideoCodec::Mpeg4;
    spec.quality = 6;
    spec.frameCount = kFrames;
    spec.paint = paintFrame;
    spec.sound = kelmo::MovieSoundCodec::Pcm;
    spec.sampleRate = 22050;
    spec.channels = 1;
    spec.soundSeconds = kSeconds;
    spec.toneHz = 440.0;
    std::string error;
    if (!kelmo::writeMovie(argv[1], spec, error)) {
        std::fprintf(stderr, "kelmo-demo-movie: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("%s: %d x %d, %d frames at %d fps, MPEG-4 with a %g Hz PCM tone\n", argv[1], kWidth, kHeight,
                kFrames, kFramesPerSecond, spec.toneHz);
    return 0;
}
