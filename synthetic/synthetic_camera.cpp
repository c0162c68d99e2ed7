// The synthetic camera: opening, and paced delivery of rendered frames.
#include "synthetic/synthetic_camera.h"

#include <cmath>
#include <utility>

#include "tracking/frame_pacer.h"
#include "tracking/pattern_file.h"

namespace kelmo {

struct SyntheticCamera::State {
    SyntheticOptions options;
    std::unique_ptr<SyntheticScene> scene;
    FramePacer pacer;
    BgrImage frame;  // the image handed out
    ImageView view;
    SyntheticFrameTruth last;
    bool delivered = false;
    bool running = false;
    bool held = false;
};

SyntheticCamera::SyntheticCamera(std::unique_ptr<State> state) : state_(std::move(state)) {}
SyntheticCamera::~SyntheticCamera() = default;

int SyntheticCamera::width() const { return state_->scene->camera().xsize; }
int SyntheticCamera::height() const { return state_->scene->camera().ysize; }
const CameraParam& SyntheticCamera::camera() const { return state_->scene->camera(); }
const SyntheticOptions& SyntheticCamera::options() const { return state_->options; }

void SyntheticCamera::start() {
    state_->running = true;
    state_->pacer.start();
}

void SyntheticCamera::stop() { state_->running = false; }

const ImageView* SyntheticCamera::getImage() {
    State& s = *state_;
    if (!s.running || s.held || s.pacer.framesToSkip() < 0) return nullptr;
    const uint64_t number = s.pacer.frameNumber();
    double pose[3][4];
    syntheticPathPose(s.options.path, static_cast<double>(number) / s.pacer.framesPerSecond(),
                      s.options.width, pose);
    renderSyntheticFrame(*s.scene, pose, s.options.noise, s.options.seed, number, s.frame, s.last.truth);
    s.last.frameNumber = number;
    s.delivered = true;
    s.pacer.delivered();
    s.held = true;
    s.view = s.frame.view();
    return &s.view;
}

void SyntheticCamera::releaseImage() { state_->held = false; }

const SyntheticFrameTruth* SyntheticCamera::lastDelivered() const {
    return state_->delivered ? &state_->last : nullptr;
}

bool SyntheticCamera::renderAt(const double pose[3][4], uint64_t frameNumber, BgrImage& image,
                               SyntheticTruth& truth) {
    return renderSyntheticFrame(*state_->scene, pose, state_->options.noise, state_->options.seed,
                                frameNumber, image, truth);
}

std::unique_ptr<SyntheticCamera> openSyntheticCamera(const SyntheticOptions& options, std::string& error,
                                                     MillisecondClock clock) {
    if (options.cameraParamFile.empty()) {
        error = "the synthetic camera needs a camera parameter file: give param=FILE or set CAM_PARA";
        return nullptr;
    }
    CameraParam camera;
    if (!loadCameraParam(options.cameraParamFile, camera, error)) {
        error = "camera parameter file \"" + options.cameraParamFile + "\": " + error;
        return nullptr;
    }
    // Resized with the width ratio only, as the tracker does with its own copy.
    if (options.imageWidth > 0)
        camera = changeCameraParamSize(camera, options.imageWidth, options.imageHeight);

    SyntheticMarker marker;
    if (!options.markerImage.empty()) {
        if (!syntheticMarkerFromImage(options.markerImage, options.width, marker, error)) return nullptr;
    } else if (!options.patternFile.empty()) {
        PatternData pattern;
        if (!loadPatternFile(options.patternFile, pattern, error)) {
            error = "pattern file \"" + options.patternFile + "\": " + error;
            return nullptr;
        }
        marker = syntheticMarkerFromPattern(pattern, options.width);
    } else {
        marker = builtInSyntheticMarker(options.width);
    }

    auto state = std::make_unique<SyntheticCamera::State>();
    state->scene = SyntheticScene::create(camera, marker, error);
    if (!state->scene) {
        error = "synthetic camera with \"" + options.cameraParamFile + "\": " + error;
        return nullptr;
    }
    state->options = options;
    state->pacer = FramePacer(options.framesPerSecond, std::move(clock));
    return std::unique_ptr<SyntheticCamera>(new SyntheticCamera(std::move(state)));
}

std::unique_ptr<VideoSource> openSyntheticSource(const CameraConfig& sourceConfig, std::string& error,
                                                 MillisecondClock clock) {
    SyntheticOptions options;
    if (!parseSyntheticOptions(sourceConfig.options, options, error)) return nullptr;
    if (options.cameraParamFile.empty()) options.cameraParamFile = sourceConfig.cameraParamFile;
    return openSyntheticCamera(options, error, std::move(clock));
}

}  // namespace kelmo
