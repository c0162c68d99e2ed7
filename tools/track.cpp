// kelmo-track: runs marker detection and pose on images, videos or any camera source and prints one
// JSON line per frame, so that tracking can be checked and measured without the window.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <thread>
#include <vector>

#include "synthetic/open_video_source.h"
#include "synthetic/synthetic_camera.h"
#include "tools/image_file_name.h"
#include "tools/json_text.h"
#include "tracking/camera_param.h"
#include "tracking/marker_detector.h"
#include "tracking/marker_pose.h"
#include "tracking/pattern_matcher.h"

namespace kelmo {
namespace {

constexpr const char* kUsage =
    "usage: kelmo-track [--param FILE] [--pattern FILE[:WIDTH]]... [--threshold N] [--repeat N]\n"
    "                   [--frames N] INPUT...\n"
    "INPUT is an image file (one frame), a video file (every frame) or a camera configuration as in\n"
    "Kelmo.ini's CAM_CON (--frames of them, default 100). Defaults: --param camera_para.dat, width 80,\n"
    "--threshold 100, --repeat 1. Prints one JSON line per frame; ms is detection plus pose (median).\n";

struct Options {
    std::string paramFile = "camera_para.dat";
    std::vector<std::pair<std::string, double>> patterns;
    int threshold = 100;
    int repeat = 1;
    int frames = 100;
    std::vector<std::string> inputs;
};

struct Tracker {
    CameraParam loaded;
    CameraParam scaled;
    PatternMatcher matcher;
    std::vector<double> widths;  // by pattern id
    int threshold = 100;
    int repeat = 1;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelmo-track: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool parseCount(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

std::string jsonMatrix(const double m[3][4]) {
    std::string out = "[";
    char number[32];
    for (int r = 0; r < 3; ++r) {
        out += r ? ",[" : "[";
        for (int c = 0; c < 4; ++c) {
            std::snprintf(number, sizeof number, c ? ",%.6g" : "%.6g", m[r][c]);
            out += number;
        }
        out += "]";
    }
    return out + "]";
}

std::string jsonVertices(const double v[4][2]) {
    char text[256];
    std::snprintf(text, sizeof text, "[[%.3f,%.3f],[%.3f,%.3f],[%.3f,%.3f],[%.3f,%.3f]]", v[0][0], v[0][1],
                  v[1][0], v[1][1], v[2][0], v[2][1], v[3][0], v[3][1]);
    return text;
}

struct TrackedMarker {
    MarkerInfo info;
    bool hasPose = false;
    double trans[3][4] = {};
};

// Detection and pose of one frame, repeated for a steadier time; returns the median milliseconds.
double trackFrame(Tracker& tracker, const ImageView& image, std::vector<TrackedMarker>& out) {
    if (image.width != tracker.scaled.xsize || image.height != tracker.scaled.ysize)
        tracker.scaled = changeCameraParamSize(tracker.loaded, image.width, image.height);
    MarkerDetector detector(tracker.scaled, tracker.matcher);
    std::vector<double> times;
    std::vector<MarkerInfo> markers;
    const double centre[2] = {0.0, 0.0};
    for (int run = 0; run < tracker.repeat; ++run) {
        const auto start = std::chrono::steady_clock::now();
        detector.detect(image, tracker.threshold, markers);
        out.clear();
        for (const MarkerInfo& marker : markers) {
            TrackedMarker tracked;
            tracked.info = marker;
            if (marker.id >= 0)
                tracked.hasPose =
                    markerTransform(tracker.scaled, marker, centre,
                                    tracker.widths[static_cast<size_t>(marker.id)], tracked.trans) >= 0.0;
            out.push_back(tracked);
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

void printFrame(const std::string& frameJson, double ms, const std::vector<TrackedMarker>& markers,
                const std::string& extra) {
    std::string line = "{\"frame\":" + frameJson;
    char number[64];
    std::snprintf(number, sizeof number, ",\"ms\":%.3f", ms);
    line += number;
    line += ",\"vertex_space\":\"ideal\",\"markers\":[";
    for (size_t i = 0; i < markers.size(); ++i) {
        const MarkerInfo& m = markers[i].info;
        std::snprintf(number, sizeof number, "{\"id\":%d,\"cf\":%.4f,\"dir\":%d,\"vertex\":", m.id, m.cf,
                      m.dir);
        line += (i ? "," : "") + std::string(number) + jsonVertices(m.vertex);
        line +=
            ",\"trans\":" + (markers[i].hasPose ? jsonMatrix(markers[i].trans) : std::string("null")) + "}";
    }
    line += "]" + extra + "}\n";
    std::fputs(line.c_str(), stdout);
}

ImageView viewOf(const cv::Mat& bgr) {
    return ImageView{bgr.cols, bgr.rows, static_cast<int>(bgr.step), bgr.data};
}

bool toBgr(const cv::Mat& in, cv::Mat& out) {
    if (in.empty() || in.depth() != CV_8U) return false;
    if (in.channels() == 1) {
        cv::cvtColor(in, out, cv::COLOR_GRAY2BGR);
    } else if (in.channels() == 4) {
        cv::cvtColor(in, out, cv::COLOR_BGRA2BGR);
    } else {
        out = in.isContinuous() ? in : in.clone();
    }
    return true;
}

bool trackImageFile(Tracker& tracker, const std::string& path) {
    cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
    if (image.empty()) return false;
    std::vector<TrackedMarker> markers;
    const double ms = trackFrame(tracker, viewOf(image), markers);
    printFrame(jsonString(path), ms, markers, "");
    return true;
}

bool trackVideoFile(Tracker& tracker, const std::string& path) {
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    if (!video.isOpened()) return false;
    cv::Mat raw, bgr;
    std::vector<TrackedMarker> markers;
    for (int frame = 0; video.read(raw); ++frame) {
        if (!toBgr(raw, bgr)) continue;
        const double ms = trackFrame(tracker, viewOf(bgr), markers);
        printFrame(std::to_string(frame), ms, markers, "");
    }
    return true;
}

std::string jsonTruth(const SyntheticTruth& truth) {
    return std::string(",\"truth\":{\"in_view\":") + (truth.markerInView ? "true" : "false") +
           ",\"vertex\":" + jsonVertices(truth.corners) + ",\"trans\":" + jsonMatrix(truth.transform) + "}";
}

// Synthetic frames are rendered one after another along the camera path, without waiting for the
// clock, and carry their ground truth.
bool trackSynthetic(Tracker& tracker, const CameraConfig& sourceConfig, const std::string& paramFile,
                    int frames, std::string& error) {
    SyntheticOptions options;
    if (!parseSyntheticOptions(sourceConfig.options, options, error)) return false;
    if (options.cameraParamFile.empty()) options.cameraParamFile = paramFile;
    std::unique_ptr<SyntheticCamera> camera = openSyntheticCamera(options, error);
    if (!camera) return false;
    BgrImage image;
    SyntheticTruth truth;
    std::vector<TrackedMarker> markers;
    for (int frame = 0; frame < frames; ++frame) {
        double pose[3][4];
        syntheticPathPose(options.path, frame / options.framesPerSecond, options.width, pose);
        if (!camera->renderAt(pose, static_cast<uint64_t>(frame), image, truth)) {
            error = "cannot render frame " + std::to_string(frame);
            return false;
        }
        const double ms = trackFrame(tracker, image.view(), markers);
        printFrame(std::to_string(frame), ms, markers, jsonTruth(truth));
    }
    return true;
}

bool trackSource(Tracker& tracker, const std::string& config, const std::string& paramFile, int frames,
                 std::string& error) {
    CameraConfig sourceConfig;
    if (!parseCameraConfig(config, sourceConfig, error)) return false;
    if (sourceConfig.kind == VideoSourceKind::Synthetic)
        return trackSynthetic(tracker, sourceConfig, paramFile, frames, error);
    std::unique_ptr<VideoSource> source = openVideoSource(sourceConfig, error);
    if (!source) return false;
    source->start();
    std::vector<TrackedMarker> markers;
    for (int frame = 0; frame < frames;) {
        const ImageView* image = source->getImage();
        if (image == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        const double ms = trackFrame(tracker, *image, markers);
        source->releaseImage();
        printFrame(std::to_string(frame++), ms, markers, "");
    }
    source->stop();
    return true;
}

}  // namespace
}  // namespace kelmo

int main(int argc, char** argv) {
    using namespace kelmo;
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--param" && hasValue) {
            options.paramFile = argv[++i];
        } else if (arg == "--pattern" && hasValue) {
            std::string value = argv[++i];
            double width = 80.0;
            const size_t colon = value.rfind(':');
            if (colon != std::string::npos) {
                char* end = nullptr;
                width = std::strtod(value.c_str() + colon + 1, &end);
                if (*end != '\0' || !(width > 0.0))
                    return usageError("bad marker width in \"" + value + "\"");
                value.resize(colon);
            }
            options.patterns.emplace_back(value, width);
        } else if (arg == "--threshold" && hasValue) {
            if (!parseCount(argv[++i], 0, 255, options.threshold))
                return usageError("--threshold takes 0 to 255");
        } else if (arg == "--repeat" && hasValue) {
            if (!parseCount(argv[++i], 1, 10000, options.repeat))
                return usageError("--repeat takes 1 to 10000");
        } else if (arg == "--frames" && hasValue) {
            if (!parseCount(argv[++i], 1, 10000000, options.frames))
                return usageError("--frames takes a count");
        } else if (arg.rfind("--", 0) == 0) {
            return usageError("unknown or incomplete option " + arg);
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.inputs.empty()) return usageError("no input");

    Tracker tracker;
    tracker.threshold = options.threshold;
    tracker.repeat = options.repeat;
    std::string error;
    if (!loadCameraParam(options.paramFile, tracker.loaded, error)) {
        std::fprintf(stderr, "kelmo-track: camera parameters %s: %s\n", options.paramFile.c_str(),
                     error.c_str());
        return 1;
    }
    tracker.scaled = tracker.loaded;
    for (const auto& [file, width] : options.patterns) {
        PatternData pattern;
        if (!loadPatternFile(file, pattern, error)) {
            std::fprintf(stderr, "kelmo-track: pattern %s: %s\n", file.c_str(), error.c_str());
            return 1;
        }
        tracker.matcher.add(pattern);
        tracker.widths.push_back(width);
    }

    int failures = 0;
    for (const std::string& input : options.inputs) {
        bool done = false;
        if (std::filesystem::is_regular_file(input)) {
            done = isImageFile(input) ? trackImageFile(tracker, input) : trackVideoFile(tracker, input);
            if (!done) error = "cannot read it as an image or a video";
        } else {
            done = trackSource(tracker, input, options.paramFile, options.frames, error);
        }
        if (!done) {
            std::fprintf(stderr, "kelmo-track: %s: %s\n", input.c_str(), error.c_str());
            ++failures;
        }
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
