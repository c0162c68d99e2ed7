#pragma once
// The character's three motions (stay, walk, run) as loaded at start-up, and the frame to draw.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/motion_config.h"
#include "model/mqo_loader.h"

#include <LinearMath/btVector3.h>

class btRigidBody;
class btPoint2PointConstraint;

namespace kelmo {

struct MotionRecord {
    double moveValue = 0.0;  // MOVE_VAL of the set
    std::unique_ptr<MqoSequence> sequence;
    char seqFile[256] = {};
    char format[256] = {};
    int32_t start = 0, end = 0, step = 0;
    double scale = 0.0;
    btRigidBody* body = nullptr;                       // the character's physics proxy for this set
    btPoint2PointConstraint* dragHandle = nullptr;     // made by the first move, released by a reset
    float modelOffset[3] = {};                         // from the body's centre to the model's origin
};

// Where a motion set's proxy box goes: a box as large as the sequence's bounds, resting on the marker
// plane, with the model's own x/y origin on the body's vertical axis (so the character turns about
// its origin and keeps its place when the motion set changes) and its lowest point on the plane.
struct ProxyPlacement {
    float size[3];         // full edge lengths
    float origin[3];       // the body's start position
    float modelOffset[3];  // the model's origin relative to the body's centre; only z is non-zero
};
ProxyPlacement proxyPlacement(const float boundsMin[3], const float boundsMax[3]);

// Where the set's model origin is drawn: its body's world transform applied to modelOffset.
btVector3 modelOrigin(const MotionRecord& motion);

// Loads the sets in order (0 stay, 1 walk, 2 run) into motions. False when any set loads no frame,
// has a document that is there but cannot be read, or draws no triangle in any frame; problems then
// holds one line per failing set naming its section and files. progress, when given, is
// told (section, numbers done, numbers in all) as a numbered sequence loads.
bool loadMotionSets(MqoLoader& loader, const MotionConfig* const configs[kMotionSetCount],
                    std::vector<MotionRecord>& motions, std::vector<std::string>& problems,
                    void (*progress)(const char* section, long done, long total) = nullptr);

// Makes every set's proxy box (mass modelMass) and takes it out of the world again; the caller adds
// the shown one. False when a set has no bounds (nothing drawable); problems then names the set.
bool createProxyBodies(std::vector<MotionRecord>& motions, float modelMass, std::vector<std::string>& problems);

// The frame after `frame` in a sequence of frameCount frames: one per displayed picture, looping.
uint32_t nextFrame(uint32_t frame, uint32_t frameCount);

}  // namespace kelmo
