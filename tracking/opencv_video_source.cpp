// Video sources on OpenCV's capture: live cameras deliver when the driver has an image; files and
// still images are paced at their own frame rate, like a camera, and start again at the end.
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdio>

#include "tracking/frame_pacer.h"
#include "tracking/synthetic_camera.h"
#include "tracking/video_source.h"

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

class CaptureSource : public VideoSource {
public:
    explicit CaptureSource(const VideoSourceSpec& spec) : spec_(spec) {}

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
            if (!openCapture()) {
                error = describe() + " cannot be opened";
                return false;
            }
            if (!capture_.read(first) || first.empty()) {
                error = describe() + " delivered no image";
                return false;
            }
        }
        width_ = first.cols;
        height_ = first.rows;
        if (!normalise(first, width_, height_, frame_)) {
            error = describe() + " delivers images in a layout that cannot be used";
            return false;
        }
        pendingFirst_ = true;
        if (isPaced()) {
            const double fps = spec_.kind == VideoSourceKind::VideoFile ? capture_.get(cv::CAP_PROP_FPS) : 0.0;
            pacer_ = FramePacer(fps);
        }
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
        if (isPaced() && !catchUpWithClock()) return nullptr;
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
    bool isPaced() const {
        return spec_.kind != VideoSourceKind::CameraIndex && spec_.kind != VideoSourceKind::CameraDevice;
    }

    std::string describe() const {
        switch (spec_.kind) {
            case VideoSourceKind::CameraIndex:
                return "camera " + std::to_string(spec_.cameraIndex);
            case VideoSourceKind::CameraDevice:
                return "camera device \"" + spec_.path + "\"";
            case VideoSourceKind::VideoFile:
                return "video file \"" + spec_.path + "\"";
            case VideoSourceKind::ImageFile:
                return "image file \"" + spec_.path + "\"";
            case VideoSourceKind::ImageSequence:
                return "image series \"" + spec_.path + "\"";
            case VideoSourceKind::Synthetic:
                return "synthetic camera";
        }
        return spec_.path;
    }

    bool openCapture() {
        switch (spec_.kind) {
            case VideoSourceKind::CameraIndex:
                capture_.open(spec_.cameraIndex, cv::CAP_V4L2);
                break;
            case VideoSourceKind::CameraDevice:
                capture_.open(spec_.path, cv::CAP_V4L2);
                break;
            case VideoSourceKind::ImageSequence:
                capture_.open(spec_.path, cv::CAP_IMAGES);
                break;
            default:
                // FFmpeg alone: letting OpenCV try every backend probes USB and GStreamer for a
                // file name, slowly and noisily.
                capture_.open(spec_.path, cv::CAP_FFMPEG);
                break;
        }
        if (!capture_.isOpened()) return false;
        if (spec_.width > 0) capture_.set(cv::CAP_PROP_FRAME_WIDTH, spec_.width);
        if (spec_.height > 0) capture_.set(cv::CAP_PROP_FRAME_HEIGHT, spec_.height);
        return true;
    }

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
            // Files start again at the end; a camera that stops is reported once.
            if (!isPaced() || !(capture_.release(), openCapture()) || !capture_.read(raw) || raw.empty()) {
                failed_ = true;
                std::printf("%s stopped delivering images\n", describe().c_str());
                std::fflush(stdout);
                return false;
            }
        }
        return normalise(raw, width_, height_, frame_);
    }

    VideoSourceSpec spec_;
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

std::unique_ptr<VideoSource> openVideoSource(const VideoSourceSpec& spec, std::string& error) {
    if (spec.kind == VideoSourceKind::Synthetic) return openSyntheticSource(spec, error);
    // Every backend OpenCV tries logs its own complaint; the caller reports one clear line instead.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    auto source = std::make_unique<CaptureSource>(spec);
    if (!source->open(error)) return nullptr;
    return source;
}

}  // namespace kelmo
