// Video sources on OpenCV's capture: live cameras through the grabber thread that keeps only the
// newest image; files and still images paced at their own frame rate, like a camera, and started
// again at the end.
#include "tracking/capture_source.h"

#include <cmath>
#include <cstdio>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <utility>

#include "tracking/frame_pacer.h"
#include "tracking/live_camera_source.h"

namespace kelmo {
namespace {

// Packed 8-bit BGR of the fixed size: later frames of another size or layout are converted.
bool normalise(const cv::Mat& in, int width, int height, cv::Mat& out) {
    if (in.empty()) return false;
    cv::Mat bgr;
    if (in.depth() != CV_8U) {
        in.convertTo(bgr, CV_8U);
    } else {
        bgr = in;
    }
    if (bgr.channels() == 1) {
        cv::cvtColor(bgr, bgr, cv::COLOR_GRAY2BGR);
    } else if (bgr.channels() == 4) {
        cv::cvtColor(bgr, bgr, cv::COLOR_BGRA2BGR);
    } else if (bgr.channels() != 3) {
        return false;
    }
    if (bgr.cols != width || bgr.rows != height) {
        cv::resize(bgr, out, cv::Size(width, height));
    } else {
        bgr.copyTo(out);
    }
    return true;
}

bool openCapture(const CameraConfig& sourceConfig, cv::VideoCapture& capture) {
    switch (sourceConfig.kind) {
        case VideoSourceKind::CameraIndex:
            capture.open(sourceConfig.cameraIndex, cv::CAP_V4L2);
            break;
        case VideoSourceKind::CameraDevice:
            capture.open(sourceConfig.path, cv::CAP_V4L2);
            break;
        case VideoSourceKind::ImageSequence:
            capture.open(sourceConfig.path, cv::CAP_IMAGES);
            break;
        default:
            // FFmpeg alone: letting OpenCV try every backend probes USB and GStreamer for a
            // file name, slowly and noisily.
            capture.open(sourceConfig.path, cv::CAP_FFMPEG);
            break;
    }
    if (!capture.isOpened()) return false;
    if (sourceConfig.width > 0) capture.set(cv::CAP_PROP_FRAME_WIDTH, sourceConfig.width);
    if (sourceConfig.height > 0) capture.set(cv::CAP_PROP_FRAME_HEIGHT, sourceConfig.height);
    return true;
}

// A V4L2 camera for the live source's grabber thread.
class V4l2Camera : public CameraDevice {
public:
    V4l2Camera(cv::VideoCapture capture, int width, int height)
        : capture_(std::move(capture)), width_(width), height_(height) {}

    bool grab() override { return capture_.grab(); }

    bool retrieve(BgrImage& image) override {
        if (!capture_.retrieve(raw_)) return false;
        image.width = width_;
        image.height = height_;
        image.pixels.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
        cv::Mat out(height_, width_, CV_8UC3, image.pixels.data());
        return normalise(raw_, width_, height_, out);
    }

private:
    cv::VideoCapture capture_;
    cv::Mat raw_;
    int width_;
    int height_;
};

// Reads the first image to learn the size, then hands the camera to the grabber thread. That image
// is not shown: by the time the frame loop starts it is old.
std::unique_ptr<VideoSource> openLiveCamera(const CameraConfig& sourceConfig, std::string& error) {
    cv::VideoCapture capture;
    if (!openCapture(sourceConfig, capture)) {
        error = describeSource(sourceConfig) + " cannot be opened";
        return nullptr;
    }
    cv::Mat first, checked;
    if (!capture.read(first) || first.empty()) {
        error = describeSource(sourceConfig) + " delivered no image";
        return nullptr;
    }
    if (!normalise(first, first.cols, first.rows, checked)) {
        error = describeSource(sourceConfig) + " delivers images in a layout that cannot be used";
        return nullptr;
    }
    return openLiveCameraSource(std::make_unique<V4l2Camera>(std::move(capture), first.cols, first.rows),
                                first.cols, first.rows, describeSource(sourceConfig));
}

// Files, image series and still images, paced at their own frame rate like a camera: the image
// handed out is always the one due now, decoded on request, so no queue can grow old.
class PacedCaptureSource : public VideoSource {
public:
    PacedCaptureSource(const CameraConfig& sourceConfig, MillisecondClock clock)
        : spec_(sourceConfig), clock_(std::move(clock)) {}

    bool open(std::string& error) {
        cv::Mat first;
        if (spec_.kind == VideoSourceKind::ImageFile) {
            still_ = cv::imread(spec_.path, cv::IMREAD_COLOR);
            if (still_.empty()) {
                error = "cannot read the image file \"" + spec_.path + "\"";
                return false;
            }
            first = still_;
        } else {
            if (!openCapture(spec_, capture_)) {
                error = describeSource(spec_) + " cannot be opened";
                return false;
            }
            if (!capture_.read(first) || first.empty()) {
                error = describeSource(spec_) + " delivered no image";
                return false;
            }
        }
        width_ = first.cols;
        height_ = first.rows;
        if (!normalise(first, width_, height_, frame_)) {
            error = describeSource(spec_) + " delivers images in a layout that cannot be used";
            return false;
        }
        pendingFirst_ = true;
        // Image series and still images: the default rate.
        const double fps = spec_.kind == VideoSourceKind::VideoFile ? capture_.get(cv::CAP_PROP_FPS) : 0.0;
        pacer_ = FramePacer(fps, clock_);
        return true;
    }

    int width() const override { return width_; }
    int height() const override { return height_; }

    void start() override {
        running_ = true;
        pacer_.start();
    }

    void stop() override { running_ = false; }

    const ImageView* getImage() override {
        if (!running_ || held_ || failed_) return nullptr;
        if (!catchUpWithClock()) return nullptr;
        if (pendingFirst_) {
            pendingFirst_ = false;
        } else if (!readNext()) {
            return nullptr;
        }
        pacer_.delivered();
        held_ = true;
        view_ = ImageView{frame_.cols, frame_.rows, static_cast<int>(frame_.step), frame_.data};
        return &view_;
    }

    void releaseImage() override { held_ = false; }

private:
    // False while the next frame is not due yet. A consumer that fell behind skips frames.
    bool catchUpWithClock() {
        int64_t skip = pacer_.framesToSkip();
        if (skip < 0) return false;
        for (; skip > 0; --skip) {
            if (spec_.kind != VideoSourceKind::ImageFile && !capture_.grab()) break;
            pendingFirst_ = false;
        }
        return true;
    }

    bool readNext() {
        if (spec_.kind == VideoSourceKind::ImageFile) return true;  // frame_ already holds the image
        cv::Mat raw;
        if (!capture_.read(raw) || raw.empty()) {
            // At the end the file starts again; one that cannot be read again is reported once.
            capture_.release();
            if (!openCapture(spec_, capture_) || !capture_.read(raw) || raw.empty()) {
                failed_ = true;
                std::printf("%s stopped delivering images\n", describeSource(spec_).c_str());
                std::fflush(stdout);
                return false;
            }
        }
        return normalise(raw, width_, height_, frame_);
    }

    CameraConfig spec_;
    MillisecondClock clock_;
    cv::VideoCapture capture_;
    cv::Mat still_;
    cv::Mat frame_;  // the image handed out, owned here
    ImageView view_;
    int width_ = 0;
    int height_ = 0;
    FramePacer pacer_;
    bool running_ = false;
    bool held_ = false;
    bool pendingFirst_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<VideoSource> openCaptureSource(const CameraConfig& sourceConfig, std::string& error,
                                               MillisecondClock clock) {
    if (sourceConfig.kind == VideoSourceKind::Synthetic) {
        error = "the synthetic camera is not a capture source";
        return nullptr;
    }
    // Every backend OpenCV tries logs its own complaint; the caller reports one clear line instead.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    if (sourceConfig.kind == VideoSourceKind::CameraIndex ||
        sourceConfig.kind == VideoSourceKind::CameraDevice)
        return openLiveCamera(sourceConfig, error);
    auto source = std::make_unique<PacedCaptureSource>(sourceConfig, std::move(clock));
    if (!source->open(error)) return nullptr;
    return source;
}

}  // namespace kelmo
