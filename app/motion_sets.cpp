#include "app/motion_sets.h"

#include <cstring>

#include "app/configuration.h"

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
        if (!record.sequence || record.sequence->frameCount() == 0) {
            problems.push_back(std::string("Kelmo.ini [") + motionSectionName(i) +
                               "]: no frame could be loaded from " + describeFiles(config));
            continue;
        }
        motions.push_back(std::move(record));
    }
    reportProgress = nullptr;
    return problems.empty();
}

uint32_t nextFrame(uint32_t frame, uint32_t frameCount) { return frame + 1 >= frameCount ? 0 : frame + 1; }

}  // namespace kelmo
