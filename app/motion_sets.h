#pragma once
// The character's three motions (stay, walk, run) as loaded at start-up, and the frame to draw.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/motion_config.h"
#include "model/mqo_loader.h"

namespace kelmo {

struct MotionRecord {
    double moveValue = 0.0;  // MOVE_VAL of the set
    std::unique_ptr<MqoSequence> sequence;
    char seqFile[256] = {};
    char format[256] = {};
    int32_t start = 0, end = 0, step = 0;
    double scale = 0.0;
};

// Loads the sets in order (0 stay, 1 walk, 2 run) into motions. False when any set loads no frame;
// problems then holds one line per failing set naming its section and files. progress, when given, is
// told (section, numbers done, numbers in all) as a numbered sequence loads.
bool loadMotionSets(MqoLoader& loader, const MotionConfig* const configs[kMotionSetCount],
                    std::vector<MotionRecord>& motions, std::vector<std::string>& problems,
                    void (*progress)(const char* section, long done, long total) = nullptr);

// The frame after `frame` in a sequence of frameCount frames: one per displayed picture, looping.
uint32_t nextFrame(uint32_t frame, uint32_t frameCount);

}  // namespace kelmo
