// kelmo-calib: a camera parameter file for the user's own camera, from views of a printed chessboard or
// converted from another calibration.
//
//   1. options
//   2. views: image files, a video file, a camera configuration
//   3. the result: figures, the parameter display, the file
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <thread>
#include <vector>

#include "synthetic/open_video_source.h"
#include "tools/image_file_name.h"
#include "tracking/camera_calibration.h"
#include "tracking/camera_param.h"

namespace kelmo {
namespace {

constexpr const char* kUsage =
    "usage: kelmo-calib [--board COLSxROWS] [--square MM] [--views N] [-o FILE] SOURCE...\n"
    "       kelmo-calib --from-opencv FILE.yml|FILE.xml [-o FILE]\n"
    "       kelmo-calib --from-dat FILE [-o FILE]\n"
    "       kelmo-calib --print-board board.png [--board COLSxROWS] [--square MM]\n"
    "SOURCE is a list of image files (every one showing the board is a view), a video file, or a camera\n"
    "configuration as in Kelmo.ini's CAM_CON (a view is taken whenever the board is held still at a new\n"
    "angle or place, until --views of them). --board counts inner corners as OpenCV does. Defaults:\n"
    "--board 9x6, --square 20, --views 20, -o camera_para.dat.\n";

// ---- 1. options ----

struct Options {
    ChessboardSpec board;
    int views = 20;
    std::string output = "camera_para.dat";
    std::string fromOpenCv;
    std::string fromDat;
    std::string printBoard;
    std::vector<std::string> sources;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "kelmo-calib: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// One line saying why nothing was written.
int refuse(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kelmo-calib: %s; nothing written\n", message.c_str());
    return 1;
}

// ---- 2. views ----

// Progress on one console line that rewrites itself; a log (not a terminal) gets a line per change.
class Progress {
public:
    Progress() : terminal_(isatty(STDOUT_FILENO) != 0) {}
    ~Progress() { finish(); }
    void show(const std::string& text, bool changed) {
        if (terminal_) {
            std::printf("\r%-78s", text.c_str());
            open_ = true;
        } else if (changed) {
            std::printf("%s\n", text.c_str());
        }
        std::fflush(stdout);
    }
    void finish() {
        if (open_) std::printf("\n");
        open_ = false;
        std::fflush(stdout);
    }

private:
    bool terminal_;
    bool open_ = false;
};

struct Collected {
    int width = 0, height = 0;
    std::vector<ChessboardCorners> views;
};

bool viewsFromImages(const std::vector<std::string>& paths, const ChessboardSpec& board, Collected& out,
                     std::string& error) {
    Progress progress;
    for (size_t n = 0; n < paths.size(); ++n) {
        BgrImage image;
        if (!loadImage(paths[n], image, error)) {
            error = paths[n] + ": " + error;
            return false;
        }
        if (n == 0) out.width = image.width, out.height = image.height;
        if (image.width != out.width || image.height != out.height) {
            error = paths[n] + " is " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                    ", the first image " + std::to_string(out.width) + "x" + std::to_string(out.height);
            return false;
        }
        ChessboardCorners corners;
        const bool found = findChessboard(image.view(), board, corners);
        if (found) out.views.push_back(corners);
        progress.show("views: " + std::to_string(out.views.size()) + " (image " + std::to_string(n + 1) +
                          " of " + std::to_string(paths.size()) + (found ? ": board found)" : ": no board)"),
                      true);
    }
    return true;
}

std::string selectorText(const ViewSelector& selector, int wanted, bool found, const std::string& where) {
    std::string text = "views: " + std::to_string(selector.views().size()) + " of " + std::to_string(wanted) +
                       " (" + where + ": ";
    if (!found) return text + "no board)";
    return text + (selector.lastWasStill() ? "board still; move it to a new angle or place)"
                                           : "board seen; hold it still)");
}

bool viewsFromVideo(const std::string& path, const ChessboardSpec& board, int wanted, Collected& out,
                    std::string& error) {
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    if (!video.isOpened()) return error = path + ": cannot read it as an image or a video", false;
    Progress progress;
    cv::Mat raw, bgr;
    std::unique_ptr<ViewSelector> selector;
    for (int frame = 0;
         video.read(raw) && (!selector || selector->views().size() < static_cast<size_t>(wanted)); ++frame) {
        if (raw.empty() || raw.depth() != CV_8U) continue;
        if (raw.channels() == 1)
            cv::cvtColor(raw, bgr, cv::COLOR_GRAY2BGR);
        else if (raw.channels() == 4)
            cv::cvtColor(raw, bgr, cv::COLOR_BGRA2BGR);
        else
            bgr = raw;
        if (!selector) {
            out.width = bgr.cols, out.height = bgr.rows;
            selector = std::make_unique<ViewSelector>(board, out.width, out.height);
        }
        if (bgr.cols != out.width || bgr.rows != out.height) continue;
        const ImageView view{bgr.cols, bgr.rows, static_cast<int>(bgr.step), bgr.data};
        ChessboardCorners corners;
        const bool found = findChessboard(view, board, corners);
        const bool taken = selector->offer(found ? &corners : nullptr);
        progress.show(selectorText(*selector, wanted, found, "frame " + std::to_string(frame)), taken);
    }
    if (selector) out.views = selector->views();
    return true;
}

bool viewsFromCamera(const std::string& config, const ChessboardSpec& board, int wanted, Collected& out,
                     std::string& error) {
    CameraConfig sourceConfig;
    if (!parseCameraConfig(config, sourceConfig, error)) return error = "\"" + config + "\": " + error, false;
    std::unique_ptr<VideoSource> source = openVideoSource(sourceConfig, error);
    if (!source) return error = "\"" + config + "\": " + error, false;
    out.width = source->width();
    out.height = source->height();
    ViewSelector selector(board, out.width, out.height);
    Progress progress;
    progress.show(selectorText(selector, wanted, false, "starting"), true);
    source->start();
    auto lastImage = std::chrono::steady_clock::now();
    constexpr auto kPatience = std::chrono::seconds(10);
    while (selector.views().size() < static_cast<size_t>(wanted)) {
        const ImageView* image = source->getImage();
        if (image == nullptr) {
            if (std::chrono::steady_clock::now() - lastImage > kPatience) {
                source->stop();
                error = "\"" + config + "\" gave no image for 10 s";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        lastImage = std::chrono::steady_clock::now();
        ChessboardCorners corners;
        const bool found = findChessboard(*image, board, corners);
        source->releaseImage();
        const bool taken = selector.offer(found ? &corners : nullptr);
        progress.show(selectorText(selector, wanted, found, "camera"), taken);
    }
    source->stop();
    out.views = selector.views();
    return true;
}

// ---- 3. the result ----

bool writeCameraParam(const std::string& path, const CameraParam& param, std::string& error) {
    uint8_t record[kCameraParamRecordSize];
    encodeCameraParam(param, record);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(record), sizeof record);
    file.close();
    if (!file) {
        std::remove(path.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

int finish(const CameraFit& fit, const std::string& output) {
    std::printf("*** Camera Parameter ***\n%s", formatCameraParam(fit.param).c_str());
    std::string error;
    if (!writeCameraParam(output, fit.param, error)) return refuse(error);
    std::printf("wrote %s (%dx%d)\n", output.c_str(), fit.param.xsize, fit.param.ysize);
    return 0;
}

void printLens(const OpenCvLens& l) {
    std::printf("OpenCV model: fx %.3f fy %.3f cx %.3f cy %.3f k1 %.5f k2 %.5f p1 %.5f p2 %.5f k3 %.5f\n",
                l.fx, l.fy, l.cx, l.cy, l.k1, l.k2, l.p1, l.p2, l.k3);
}

int calibrate(const Options& options) {
    Collected collected;
    std::string error;
    bool images = true;
    for (const std::string& s : options.sources)
        images = images && std::filesystem::is_regular_file(s) && isImageFile(s);
    bool good;
    if (images)
        good = viewsFromImages(options.sources, options.board, collected, error);
    else if (options.sources.size() > 1)
        return usageError("several sources must all be image files");
    else if (std::filesystem::is_regular_file(options.sources[0]))
        good = viewsFromVideo(options.sources[0], options.board, options.views, collected, error);
    else
        good = viewsFromCamera(options.sources[0], options.board, options.views, collected, error);
    if (!good) return refuse(error);

    Calibration calibration;
    if (!calibrateFromViews(collected.views, options.board, collected.width, collected.height, calibration,
                            error))
        return refuse(error);
    std::printf("%d views of a %dx%d board, %dx%d pixels\n", calibration.views, options.board.cols,
                options.board.rows, calibration.width, calibration.height);
    printLens(calibration.lens);
    std::printf("OpenCV model: reprojection RMS %.3f px\n", calibration.openCvRmsPx);
    std::printf("2.x model: reprojection RMS %.3f px\n", calibration.cameraParamRmsPx);
    std::printf(
        "2.x model: fitted to OpenCV's within %.3f px RMS (%.3f px at most) over the image, then refined "
        "on the views\n",
        calibration.fit.rmsPx, calibration.fit.maxPx);
    CameraFit result = calibration.fit;
    result.param = calibration.param;
    return finish(result, options.output);
}

// Another calibration: read from path, shown, fitted with the 2.x model and written.
template <class Model, class Show>
int convert(const std::string& path, bool (*load)(const std::string&, Model&, std::string&), Show show,
            const char* modelName, const std::string& output) {
    Model model;
    CameraFit fit;
    std::string error;
    if (!load(path, model, error)) return refuse(path + ": " + error);
    show(model);
    if (!fitCameraParam(model, fit, error)) return refuse(path + ": " + error);
    std::printf("2.x model: maps viewing rays within %.3f px RMS (%.3f px at most) of %s over the image\n",
                fit.rmsPx, fit.maxPx, modelName);
    return finish(fit, output);
}

int convertOpenCv(const Options& options) {
    const auto show = [&](const OpenCvLens& lens) {
        std::printf("%s: %dx%d pixels\n", options.fromOpenCv.c_str(), lens.width, lens.height);
        printLens(lens);
    };
    return convert(options.fromOpenCv, loadOpenCvLens, show, "the OpenCV model", options.output);
}

int convertDat(const Options& options) {
    const auto show = [&](const Version4Camera& camera) {
        std::printf("%s: %dx%d pixels, k1 %.5f k2 %.5f p1 %.5f p2 %.5f s %.5f\n", options.fromDat.c_str(),
                    camera.xsize, camera.ysize, camera.k1, camera.k2, camera.p1, camera.p2, camera.s);
    };
    return convert(options.fromDat, loadVersion4Camera, show, "the version 4 model", options.output);
}

int printBoard(const Options& options) {
    constexpr double kDotsPerInch = 300.0;
    const ChessboardSpec& board = options.board;
    const int perSquare = std::max(8, static_cast<int>(std::lround(board.square / 25.4 * kDotsPerInch)));
    const int pixelsPerMetre = static_cast<int>(std::lround(perSquare / (board.square / 1000.0)));
    std::string error;
    if (!savePng(options.printBoard, chessboardImage(board, perSquare), pixelsPerMetre, error))
        return refuse(options.printBoard + ": " + error);
    std::printf(
        "wrote %s: %dx%d inner corners, %g mm squares, %.0f x %.0f mm; print it at 100 %% and measure "
        "a square\n",
        options.printBoard.c_str(), board.cols, board.rows, board.square, (board.cols + 3) * board.square,
        (board.rows + 3) * board.square);
    return 0;
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
        } else if (arg == "--board" && hasValue) {
            if (!parseChessboardSize(argv[++i], options.board))
                return usageError("--board takes COLSxROWS inner corners, each 2 to 64");
        } else if (arg == "--square" && hasValue) {
            char* end = nullptr;
            options.board.square = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(options.board.square > 0.0) || options.board.square > 1000.0)
                return usageError("--square takes the side of a square in millimetres");
        } else if (arg == "--views" && hasValue) {
            char* end = nullptr;
            const long views = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || views < kMinCalibrationViews || views > 200)
                return usageError("--views takes " + std::to_string(kMinCalibrationViews) + " to 200");
            options.views = static_cast<int>(views);
        } else if (arg == "-o" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--from-opencv" && hasValue) {
            options.fromOpenCv = argv[++i];
        } else if (arg == "--from-dat" && hasValue) {
            options.fromDat = argv[++i];
        } else if (arg == "--print-board" && hasValue) {
            options.printBoard = argv[++i];
        } else if (arg.rfind("--", 0) == 0 ||
                   (arg.size() > 1 && arg[0] == '-' && arg.find('=') == std::string::npos)) {
            // A camera configuration in the option syntax (-dev=... -width=...) is a source.
            return usageError("unknown or incomplete option " + arg);
        } else {
            options.sources.push_back(arg);
        }
    }
    const int modes = !options.fromOpenCv.empty() + !options.fromDat.empty() + !options.printBoard.empty() +
                      !options.sources.empty();
    if (modes != 1) return usageError("give one of: sources, --from-opencv, --from-dat, --print-board");
    if (!options.printBoard.empty()) return printBoard(options);
    if (!options.fromOpenCv.empty()) return convertOpenCv(options);
    if (!options.fromDat.empty()) return convertDat(options);
    return calibrate(options);
}
