#include "app/configuration.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/ini_file.h"

namespace kelmo {
namespace {

MotionConfig motionConfigs[kMotionSetCount];
TrackingConfig trackingConfig;
PhysicsConfig physicsConfig;
MovieConfig movieConfig;

const char* const kMotionSections[kMotionSetCount] = {"Metaseq_stay", "Metaseq_walk", "Metaseq_run"};

constexpr char kFileName[] = "Kelmo.ini";
// The path is built in a buffer of this many characters, terminating zero included.
constexpr std::size_t kPathBufferSize = 256;
// Beyond this the current directory is reported as unreadable rather than grown into.
constexpr std::size_t kMaxDirectoryBuffer = 1 << 20;

void readText(const IniFile& ini, const char* section, const char* key, const char* fallback,
              char (&field)[256]) {
    std::string value = ini.get(section, key, fallback);
    std::size_t length = value.size() < sizeof field ? value.size() : sizeof field - 1;
    std::memcpy(field, value.data(), length);
    field[length] = '\0';
}

// A value that does not scan leaves the field as it was.
void readReal(const IniFile& ini, const char* section, const char* key, const char* fallback, double& field) {
    std::string value = ini.get(section, key, fallback);
    double scanned;
    if (std::sscanf(value.c_str(), "%lf", &scanned) == 1) field = scanned;
}

// atoi, except that a number beyond int32 is clamped instead of being undefined.
void readWhole(const IniFile& ini, const char* section, const char* key, const char* fallback,
               int32_t& field) {
    std::string value = ini.get(section, key, fallback);
    long long number = std::strtoll(value.c_str(), nullptr, 10);
    if (number > INT32_MAX) number = INT32_MAX;
    if (number < INT32_MIN) number = INT32_MIN;
    field = static_cast<int32_t>(number);
}

// The settings that are plain numbers, each read into its field of a record.
struct RealSetting {
    const char* section;
    const char* key;
    const char* fallback;
    double* field;
};
const RealSetting kRealSettings[] = {
    {"BULLET", "GRAVITY", "-98.0", &physicsConfig.gravity},
    {"BULLET", "MODEL_MASS", "100.0", &physicsConfig.modelMass},
    {"BULLET", "SCREEN_MASS", "150.0", &physicsConfig.screenMass},
    {"MOVIE", "SCREEN_SIZE", "100.0", &movieConfig.screenSize},
    {"MOVIE", "SCREEN_POSX", "0.0", &movieConfig.screenPosX},
    {"MOVIE", "SCREEN_POSY", "10.0", &movieConfig.screenPosY},
    {"MOVIE", "SCREEN_POSZ", "0.0", &movieConfig.screenPosZ},
    {"MOVIE", "SCREEN_DIVIDE_W", "10.0", &movieConfig.screenDivideW},
    {"MOVIE", "SCREEN_DIVIDE_H", "10.0", &movieConfig.screenDivideH},
};

// The whole directory, however long, so that a refusal can say how long it is.
bool currentDirectory(std::string& directory, int& errorNumber) {
    std::vector<char> buffer(kPathBufferSize);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            directory = buffer.data();
            return true;
        }
        if (errno != ERANGE || buffer.size() >= kMaxDirectoryBuffer) {
            errorNumber = errno;
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

bool loadConfiguration(std::string& error, std::string* warning) {
    if (warning) warning->clear();
    std::string directory;
    int errorNumber = 0;
    if (!currentDirectory(directory, errorNumber)) {
        error = std::string("cannot read ") + kFileName + ": the current directory cannot be read (" +
                std::strerror(errorNumber) + ")";
        return false;
    }
    // Room for '/', the file name and the terminating zero.
    const std::size_t maxDirectory = kPathBufferSize - 1 - (sizeof kFileName - 1) - 1;
    if (directory.size() > maxDirectory) {
        error = std::string("cannot read ") + kFileName + ": the current directory is " +
                std::to_string(directory.size()) + " characters long, at most " +
                std::to_string(maxDirectory) + " are allowed (the path to " + kFileName + " must fit in " +
                std::to_string(kPathBufferSize - 1) + " characters): " + directory;
        return false;
    }
    const std::string path = directory + "/" + kFileName;
    std::string problem;
    loadConfigurationFrom(IniFile::load(path, &problem));
    if (warning && !problem.empty())
        *warning = "cannot read " + path + " (" + problem + "): every setting takes its default";
    return true;
}

void loadConfigurationFrom(const IniFile& ini) {
    for (MotionConfig& motion : motionConfigs) motion = MotionConfig{};
    trackingConfig = TrackingConfig{};
    physicsConfig = PhysicsConfig{};
    movieConfig = MovieConfig{};

    for (int i = 0; i < kMotionSetCount; ++i) {
        const char* section = kMotionSections[i];
        MotionConfig& motion = motionConfigs[i];
        readReal(ini, section, "SCALE", "1.0", motion.scale);
        readText(ini, section, "MQO_SEQ_FILE", "", motion.seqFile);
        readText(ini, section, "MQO_FORMAT", "", motion.format);
        readWhole(ini, section, "START", "0", motion.start);
        readWhole(ini, section, "END", "0", motion.end);
        readWhole(ini, section, "STEP", "1", motion.step);
        readReal(ini, section, "MOVE_VAL", "10", motion.moveValue);
    }

    const char* section = "ARToolKit";
    readText(ini, section, "CAM_CON", "WDM_camera_flipV.xml", trackingConfig.cameraConfig);
    readText(ini, section, "CAM_PARA", "camera_para.dat", trackingConfig.cameraParamFile);
    for (int n = 1; n <= kPatternCount; ++n) {
        char key[256];
        std::snprintf(key, sizeof key, "FILE_PAT%d", n);
        readText(ini, section, key, "", trackingConfig.patterns[n - 1].file);
        std::snprintf(key, sizeof key, "SIZE_PAT%d", n);
        readReal(ini, section, key, "80.0", trackingConfig.patterns[n - 1].width);
    }

    readText(ini, "MOVIE", "FILE", "", movieConfig.file);
    for (const RealSetting& setting : kRealSettings)
        readReal(ini, setting.section, setting.key, setting.fallback, *setting.field);
}

const MotionConfig* getMotionConfig(int index) {
    if (index < 0 || index >= kMotionSetCount) return nullptr;
    return &motionConfigs[index];
}

const TrackingConfig* getTrackingConfig() { return &trackingConfig; }
const PhysicsConfig* getPhysicsConfig() { return &physicsConfig; }
const MovieConfig* getMovieConfig() { return &movieConfig; }

const char* motionSectionName(int index) {
    if (index < 0 || index >= kMotionSetCount) return nullptr;
    return kMotionSections[index];
}

std::string motionSequenceProblem(const MotionConfig& motion, const char* section) {
    // A single document, an empty range and a positive step all end.
    if (motion.format[0] == '\0' || motion.start > motion.end || motion.step >= 1) return "";
    return std::string(kFileName) + " [" + section + "]: STEP=" + std::to_string(motion.step) +
           " never gets from START=" + std::to_string(motion.start) +
           " to END=" + std::to_string(motion.end) + "; STEP must be 1 or more";
}

std::string motionSequenceProblem(int index) {
    const MotionConfig* motion = getMotionConfig(index);
    if (motion == nullptr) return "";
    return motionSequenceProblem(*motion, kMotionSections[index]);
}

}  // namespace kelmo
