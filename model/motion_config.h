#pragma once
// Settings of one motion set (stay, walk or run), read from Kelmo.ini by app/ and consumed by the
// sequence loader.
#include <cstdint>

namespace kelmo {

// Index 0 = stay, 1 = walk, 2 = run.
constexpr int kMotionSetCount = 3;

struct MotionConfig {
    double scale;       // factor applied to every vertex of the loaded documents
    char seqFile[256];  // the single document, or the text argument of format
    char format[256];   // print format (text, frame number); empty means seqFile is one document
    int32_t start;      // first frame number
    int32_t end;        // last frame number, inclusive
    int32_t step;       // increment of the frame number
    double moveValue;   // marker units the drag target leads per frame; also selects the set
};

}  // namespace kelmo
