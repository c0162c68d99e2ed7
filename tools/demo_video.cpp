// kelmo-demo-video: writes a Motion-JPEG AVI that looks like a camera filming a marker card on a desk.
// Every run with the same arguments writes the same frames.
//
//   1. arguments
//   2. the desk (drawn once)
//   3. the card and its path
//   4. one frame: card, shadow, sensor noise, frame counter
//   5. writing and checking the file
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- 1. arguments ----

constexpr const char* kUsage =
    "usage: kelmo-demo-video OUT.avi [--frames N] [--size WxH] [--fps F]\n"
    "Defaults: 150 frames, 640x480, 30 fps.\n";

struct Options {
    std::string path;
    int frames = 150;
    cv::Size size{640, 480};
    double fps = 30;
};

bool parseInt(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseSize(const std::string& text, cv::Size& out) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return parseInt(text.substr(0, x).c_str(), 64, 4096, out.width) &&
           parseInt(text.substr(x + 1).c_str(), 64, 4096, out.height);
}

bool parseFps(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= 1 && out <= 240;
}

// 0 when the options are fine; otherwise the exit status, after a message.
int parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--frames" && hasValue) {
            if (!parseInt(argv[++i], 1, 100000, options.frames)) {
                std::fprintf(stderr, "kelmo-demo-video: --frames wants 1..100000, not '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--size" && hasValue) {
            if (!parseSize(argv[++i], options.size)) {
                std::fprintf(stderr, "kelmo-demo-video: --size wants WxH within 64..4096, not '%s'\n",
                             argv[i]);
                return 2;
            }
        } else if (arg == "--fps" && hasValue) {
            if (!parseFps(argv[++i], options.fps)) {
                std::fprintf(stderr, "kelmo-demo-video: --fps wants 1..240, not '%s'\n", argv[i]);
                return 2;
            }
        } else if (options.path.empty() && arg.rfind("--", 0) != 0) {
            options.path = arg;
        } else {
            std::fprintf(stderr, "kelmo-demo-video: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (options.path.empty()) {
        std::fprintf(stderr, "kelmo-demo-video: no output file given\n%s", kUsage);
        return 2;
    }
    return 0;
}

// ---- 2. the desk ----

// Smooth noise in [0, 1]: a coarse random grid (cells of cellW x cellH pixels) blown up with cubic
// interpolation.
cv::Mat smoothNoise(cv::RNG& rng, cv::Size size, int cellW, int cellH) {
    cv::Mat coarse(std::max(2, size.height / cellH), std::max(2, size.width / cellW), CV_32F);
    rng.fill(coarse, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat fine;
    cv::resize(coarse, fine, size, 0, 0, cv::INTER_CUBIC);
    return fine;
}

// Wooden planks: warped grain rings, plank seams, a little fibre noise and the lens's vignetting.
cv::Mat makeDesk(cv::Size size) {
    cv::RNG rng(0x4B454C4D);
    // Grain runs along the planks, so its distortion is stretched the same way.
    const cv::Mat warp = smoothNoise(rng, size, 220, 40);
    const cv::Mat fibre = smoothNoise(rng, size, 12, 1);
    const int plankHeight = std::max(24, size.height / 3);
    const cv::Vec3f light(95, 140, 185), dark(45, 80, 125);  // BGR

    cv::Mat desk(size, CV_32FC3);
    const cv::Point2f centre(size.width * 0.5f, size.height * 0.5f);
    const float reach = std::hypot(centre.x, centre.y);
    for (int y = 0; y < size.height; ++y) {
        const int plank = y / plankHeight;
        for (int x = 0; x < size.width; ++x) {
            // Each plank gets its own grain phase so the seams read as seams.
            const float ring = 0.05f * y + 2.5f * warp.at<float>(y, x) + 1.7f * plank + 0.002f * x;
            float grain = 0.5f + 0.5f * std::sin(2.0f * static_cast<float>(kPi) * ring);
            grain = 0.75f * grain * grain + 0.25f * fibre.at<float>(y, x);
            cv::Vec3f c = light * (1 - grain) + dark * grain;
            if (y % plankHeight < 2) c *= 0.55f;
            const float r = std::hypot(x - centre.x, y - centre.y) / reach;
            desk.at<cv::Vec3f>(y, x) = c * (1.0f - 0.35f * r * r);
        }
    }
    cv::GaussianBlur(desk, desk, cv::Size(3, 3), 0);
    return desk;
}

// ---- 3. the card and its path ----

// A white card carrying a square marker: black border a quarter of the marker wide, white inside,
// and an asymmetric glyph so the orientation shows.
cv::Mat makeCard(int side) {
    cv::Mat card(side, side, CV_32FC3, cv::Scalar(236, 240, 242));
    const int margin = side / 12;
    const int marker = side - 2 * margin;
    const int border = marker / 4;
    const cv::Rect outer(margin, margin, marker, marker);
    const cv::Rect inner(margin + border, margin + border, marker - 2 * border, marker - 2 * border);
    cv::rectangle(card, outer, cv::Scalar(18, 18, 18), cv::FILLED);
    cv::rectangle(card, inner, cv::Scalar(236, 240, 242), cv::FILLED);

    const int u = inner.width / 8;  // glyph grid unit
    const cv::Point o = inner.tl();
    const cv::Scalar ink(18, 18, 18);
    cv::rectangle(card, cv::Rect(o.x + 1 * u, o.y + 1 * u, 2 * u, 6 * u), ink, cv::FILLED);
    cv::rectangle(card, cv::Rect(o.x + 3 * u, o.y + 1 * u, 4 * u, 2 * u), ink, cv::FILLED);
    cv::rectangle(card, cv::Rect(o.x + 5 * u, o.y + 4 * u, 2 * u, 3 * u), ink, cv::FILLED);
    return card;
}

struct Pose {
    double x, y, z;           // card centre in the camera frame, card widths
    double roll, pitch, yaw;  // radians
};

// A slow Lissajous drift with a gentle wobble; the periods are long against a 5 s clip.
Pose poseAt(double t) {
    Pose p;
    p.x = 0.55 * std::sin(2 * kPi * t / 9.0);
    p.y = 0.30 * std::sin(2 * kPi * t / 6.5 + 0.7);
    p.z = 3.2 + 0.35 * std::sin(2 * kPi * t / 7.5);
    p.roll = 0.45 * std::sin(2 * kPi * t / 11.0);
    p.pitch = 0.55 + 0.18 * std::sin(2 * kPi * t / 5.5);
    p.yaw = 0.20 * std::sin(2 * kPi * t / 8.0 + 1.1);
    return p;
}

// Where the card's corners land in the image, seen by a pinhole camera with a ~60 degree view.
std::vector<cv::Point2f> projectCard(const Pose& p, cv::Size image) {
    const double f = image.width * 0.85;
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(p.pitch), -std::sin(p.pitch), 0, std::sin(p.pitch),
                         std::cos(p.pitch));
    const cv::Matx33d ry(std::cos(p.yaw), 0, std::sin(p.yaw), 0, 1, 0, -std::sin(p.yaw), 0, std::cos(p.yaw));
    const cv::Matx33d rz(std::cos(p.roll), -std::sin(p.roll), 0, std::sin(p.roll), std::cos(p.roll), 0, 0, 0,
                         1);
    const cv::Matx33d r = rz * rx * ry;
    std::vector<cv::Point2f> corners;
    for (const cv::Vec3d& c : {cv::Vec3d(-0.5, -0.5, 0), cv::Vec3d(0.5, -0.5, 0), cv::Vec3d(0.5, 0.5, 0),
                               cv::Vec3d(-0.5, 0.5, 0)}) {
        const cv::Vec3d w = r * c + cv::Vec3d(p.x, p.y, p.z);
        corners.emplace_back(static_cast<float>(image.width * 0.5 + f * w[0] / w[2]),
                             static_cast<float>(image.height * 0.5 + f * w[1] / w[2]));
    }
    return corners;
}

// ---- 4. one frame ----

class FrameMaker {
public:
    explicit FrameMaker(cv::Size size)
        : size_(size), desk_(makeDesk(size)), card_(makeCard(512)), cardMask_(card_.size(), CV_32F, 1.0) {}

    cv::Mat frame(int index, double fps) {
        const std::vector<cv::Point2f> cardCorners{
            {0, 0},
            {static_cast<float>(card_.cols), 0},
            {static_cast<float>(card_.cols), static_cast<float>(card_.rows)},
            {0, static_cast<float>(card_.rows)}};
        const std::vector<cv::Point2f> imageCorners = projectCard(poseAt(index / fps), size_);
        const cv::Mat h = cv::getPerspectiveTransform(cardCorners, imageCorners);

        cv::Mat card, coverage, shadow;
        cv::warpPerspective(card_, card, h, size_, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        cv::warpPerspective(cardMask_, coverage, h, size_, cv::INTER_LINEAR, cv::BORDER_CONSTANT);

        // A soft shadow a little down and to the right of the card.
        const cv::Matx23d offset(1, 0, size_.width * 0.012, 0, 1, size_.height * 0.02);
        cv::warpAffine(coverage, shadow, offset, size_);
        cv::GaussianBlur(shadow, shadow, cv::Size(0, 0), size_.width * 0.01);

        cv::Mat out(size_, CV_32FC3);
        for (int y = 0; y < size_.height; ++y) {
            const auto* d = desk_.ptr<cv::Vec3f>(y);
            const auto* c = card.ptr<cv::Vec3f>(y);
            const float* a = coverage.ptr<float>(y);
            const float* s = shadow.ptr<float>(y);
            auto* o = out.ptr<cv::Vec3f>(y);
            for (int x = 0; x < size_.width; ++x) o[x] = d[x] * (1 - 0.45f * s[x]) * (1 - a[x]) + c[x] * a[x];
        }

        // Sensor noise differs per frame but not per run.
        cv::Mat noise(size_, CV_32FC3);
        cv::RNG rng(0x5EED0000u + static_cast<unsigned>(index));
        rng.fill(noise, cv::RNG::NORMAL, 0.0, 2.5);
        out += noise;

        cv::Mat frame8;
        out.convertTo(frame8, CV_8UC3);
        drawCounter(frame8, index);
        return frame8;
    }

private:
    static void drawCounter(cv::Mat& image, int index) {
        char text[32];
        std::snprintf(text, sizeof text, "%05d", index);
        const double scale = std::max(0.35, image.cols / 1600.0);
        int baseline = 0;
        const cv::Size box = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
        const cv::Point at(image.cols - box.width - 8, image.rows - baseline - 6);
        cv::putText(image, text, at, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(0, 0, 0), 3, cv::LINE_AA);
        cv::putText(image, text, at, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255, 255, 255), 1,
                    cv::LINE_AA);
    }

    cv::Size size_;
    cv::Mat desk_;      // CV_32FC3, BGR 0..255
    cv::Mat card_;      // CV_32FC3, the card face
    cv::Mat cardMask_;  // CV_32F, 1 on the card
};

// ---- 5. writing and checking the file ----

int writeVideo(const Options& options) {
    const int fourcc = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    // OpenCV's own AVI writer: no FFmpeg or GStreamer needed.
    cv::VideoWriter writer(options.path, cv::CAP_OPENCV_MJPEG, fourcc, options.fps, options.size, true);
    if (!writer.isOpened()) {
        std::fprintf(stderr, "kelmo-demo-video: cannot open '%s' for writing\n", options.path.c_str());
        return 1;
    }
    FrameMaker maker(options.size);
    for (int i = 0; i < options.frames; ++i) writer.write(maker.frame(i, options.fps));
    writer.release();

    // The writer reports no write errors (a full disk, say), so read the count back.
    cv::VideoCapture check(options.path, cv::CAP_OPENCV_MJPEG);
    const int written = check.isOpened() ? static_cast<int>(check.get(cv::CAP_PROP_FRAME_COUNT)) : 0;
    if (written != options.frames) {
        std::fprintf(stderr, "kelmo-demo-video: '%s' holds %d frames instead of %d\n", options.path.c_str(),
                     written, options.frames);
        return 1;
    }
    std::printf("kelmo-demo-video: wrote %d frames of %dx%d at %g fps to %s\n", options.frames,
                options.size.width, options.size.height, options.fps, options.path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int status = parseOptions(argc, argv, options)) return status;
    try {
        return writeVideo(options);
    } catch (const cv::Exception& e) {
        std::fprintf(stderr, "kelmo-demo-video: cannot write '%s': %s\n", options.path.c_str(), e.what());
        return 1;
    }
}
