#include "app/motion_sets.h"

#include <cstring>

#include <btBulletDynamicsCommon.h>

#include "app/configuration.h"
#include "physics/physics_bodies.h"
#include "physics/physics_world.h"

namespace kelmo {
namespace {

void (*reportProgress)(const char*, long, long) = nullptr;
const char* loadingSection = nullptr;

void onSequenceProgress(long done, long total) {
    if (reportProgress) reportProgress(loadingSection, done, total);
}

std::string describeFiles(const MotionConfig& config) {
    if (config.format[0] == '\0') return std::string("MQO_SEQ_FILE \"") + config.seqFile + "\"";
    return std::string("MQO_SEQ_FILE \"") + config.seqFile + "\" with MQO_FORMAT \"" + config.format +
           "\", START " + std::to_string(config.start) + " to END " + std::to_string(config.end) +
           " by STEP " + std::to_string(config.step);
}

// A character without one would be invisible, on a proxy box of no size.
bool hasDrawnTriangle(const MqoSequence& sequence) {
    for (const MqoModel& frame : sequence.frames())
        if (drawnTriangleCount(frame) > 0) return true;
    return false;
}

}  // namespace

bool loadMotionSets(MqoLoader& loader, const MotionConfig* const configs[kMotionSetCount],
                    std::vector<MotionRecord>& motions, std::vector<std::string>& problems,
                    void (*progress)(const char* section, long done, long total)) {
    motions.clear();
    reportProgress = progress;
    for (int i = 0; i < kMotionSetCount; ++i) {
        const MotionConfig& config = *configs[i];
        MotionRecord record;
        std::memcpy(record.seqFile, config.seqFile, sizeof record.seqFile);
        std::memcpy(record.format, config.format, sizeof record.format);
        record.start = config.start;
        record.end = config.end;
        record.step = config.step;
        record.moveValue = config.moveValue;
        record.scale = config.scale;
        loadingSection = motionSectionName(i);
        if (record.format[0] != '\0') {
            record.sequence = loader.loadSequence(record.seqFile, record.format, record.start, record.end,
                                                  record.step, yUpToZUp, static_cast<float>(record.scale),
                                                  progress ? onSequenceProgress : nullptr);
        } else {
            record.sequence = loader.loadModel(record.seqFile, yUpToZUp, static_cast<float>(record.scale));
        }
        const std::string section = std::string("Kelmo.ini [") + motionSectionName(i) + "]: ";
        if (!record.sequence && !loader.unreadableDocument().empty()) {
            problems.push_back(section + "cannot read the document " + loader.unreadableDocument());
            continue;
        }
        if (!record.sequence || record.sequence->frameCount() == 0) {
            problems.push_back(section + "no frame could be loaded from " + describeFiles(config));
            continue;
        }
        if (!hasDrawnTriangle(*record.sequence)) {
            problems.push_back(section + "the documents of " + describeFiles(config) +
                               " hold no triangle to draw (no face with a material in a visible object)");
            continue;
        }
        motions.push_back(std::move(record));
    }
    reportProgress = nullptr;
    return problems.empty();
}

ProxyPlacement proxyPlacement(const float boundsMin[3], const float boundsMax[3]) {
    ProxyPlacement placement{};
    for (int axis = 0; axis < 3; ++axis) placement.size[axis] = boundsMax[axis] - boundsMin[axis];
    // The box is centred on its body, so resting on the plane puts the centre half its height up.
    // A model centred on its own origin is drawn exactly at the body; one standing on its origin
    // (feet at zero, as most are) is shifted down into the box instead of floating above it.
    placement.origin[2] = 0.5f * placement.size[2];
    placement.modelOffset[2] = -0.5f * (boundsMin[2] + boundsMax[2]);
    return placement;
}

btVector3 modelOrigin(const MotionRecord& motion) {
    const btVector3 offset(motion.modelOffset[0], motion.modelOffset[1], motion.modelOffset[2]);
    return bodyWorldTransform(motion.body) * offset;
}

bool createProxyBodies(std::vector<MotionRecord>& motions, float modelMass, std::vector<std::string>& problems) {
    for (size_t i = 0; i < motions.size(); ++i) {
        MotionRecord& motion = motions[i];
        float low[3], high[3];
        if (!motion.sequence || !motion.sequence->boundsMin(-1, low) || !motion.sequence->boundsMax(-1, high)) {
            problems.push_back(std::string("Kelmo.ini [") + motionSectionName(static_cast<int>(i)) +
                               "]: the model has no vertex, so it has no size for its physics body");
            continue;
        }
        const ProxyPlacement placement = proxyPlacement(low, high);
        const btQuaternion upright(btVector3(0, 0, 1), 0);
        motion.body = createBoxBody(modelMass, placement.size[0], placement.size[1], placement.size[2],
                                    btVector3(placement.origin[0], placement.origin[1], placement.origin[2]),
                                    &upright);
        removeBody(motion.body);
        motion.dragHandle = nullptr;
        std::memcpy(motion.modelOffset, placement.modelOffset, sizeof motion.modelOffset);
    }
    return problems.empty();
}

uint32_t nextFrame(uint32_t frame, uint32_t frameCount) { return frame + 1 >= frameCount ? 0 : frame + 1; }

}  // namespace kelmo
