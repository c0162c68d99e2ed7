#pragma once
// The frames of one motion, drawn one at a time. GL thread only.
#include <cstdint>
#include <vector>

#include "model/mqo_model.h"

namespace kelmo {

class MqoSequence {
public:
    MqoSequence() = default;
    virtual ~MqoSequence();  // the batches delete their buffers: needs the GL context when any exist
    MqoSequence(const MqoSequence&) = delete;
    MqoSequence& operator=(const MqoSequence&) = delete;

    // Adds a frame at the end and widens the sequence's box to hold it.
    void append(MqoModel frame);
    uint32_t frameCount() const { return static_cast<uint32_t>(frames_.size()); }
    // frame < 0: the whole sequence's box; a frame's own box; false beyond the last frame.
    bool boundsMin(int frame, float out[3]) const;
    bool boundsMax(int frame, float out[3]) const;
    // Draws the frame in the current modelview with material opacity alpha/255, restoring every GL
    // state it changes. A frame at or beyond frameCount draws nothing. Returns frameCount.
    uint32_t drawFrame(uint32_t frame, uint32_t alpha) const;
    const std::vector<MqoModel>& frames() const { return frames_; }
    std::vector<MqoModel>& frames() { return frames_; }

private:
    float boxMin_[3] = {}, boxMax_[3] = {};
    std::vector<MqoModel> frames_;
};

}  // namespace kelmo
