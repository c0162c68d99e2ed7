// kelmo-check: checks a Kelmo.ini and everything it names without opening Kelmo's window: the camera
// source, the camera file, the patterns, the three motion sets with their textures and the movie.
// One line per item, a summary; status 0 when Kelmo would start and draw everything, 1 otherwise.
//
// Sections: 1 items and the summary, 2 configuration, 3 camera and patterns, 4 motion sets,
// 5 textures, 6 movie, 7 main.
#include <GL/freeglut.h>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/configuration.h"
#include "app/ini_file.h"
#include "model/frame_path.h"
#include "model/image_reader.h"
#include "model/mqo_parser.h"
#include "model/mqo_sequence.h"
#include "model/texture_pool.h"
#include "movie/audio_track.h"
#include "movie/ffmpeg_support.h"
#include "movie/movie_screen.h"
#include "movie/video_decoder.h"
#include "physics/physics_world.h"
#include "platform/clock.h"
#include "synthetic/open_video_source.h"
#include "tools/hidden_window.h"
#include "tracking/camera_param.h"
#include "tracking/gl_matrices.h"
#include "tracking/pattern_file.h"

namespace kelmo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: kelmo-check [Kelmo.ini]\n"
    "Checks a configuration (default: Kelmo.ini in the current folder) and everything it names, as\n"
    "Kelmo would read them from that file's folder, without opening Kelmo's window: the camera source\n"
    "gives images, the camera file reads and fits the image size, each pattern loads, each motion set\n"
    "loads (frames, triangles, textures), the movie opens. One line per item, then a summary.\n"
    "Exit status 0 when Kelmo would start and draw everything, 1 otherwise, 2 on a usage error.\n"
    "Textures are uploaded in a hidden window when an X display answers; otherwise only read.\n";

// How long a camera may take to deliver its first image after start.
constexpr uint32_t kCameraWaitMs = 5000;

// ---- 1 items and the summary --------------------------------------------------------------------

// Fatal: Kelmo refuses to start. Missing: Kelmo starts but leaves something out.
enum class Verdict { Ok, Warning, Missing, Fatal };

struct Summary {
    int ok = 0, warnings = 0, missing = 0, fatal = 0;
    int texturesRead = 0;
};
Summary summary;

void item(Verdict status, const std::string& text) {
    const char* word = "ok  ";
    switch (status) {
        case Verdict::Ok:
            ++summary.ok;
            break;
        case Verdict::Warning:
            ++summary.warnings;
            word = "warn";
            break;
        case Verdict::Missing:
            ++summary.missing;
            word = "FAIL";
            break;
        case Verdict::Fatal:
            ++summary.fatal;
            word = "FAIL";
            break;
    }
    std::printf("%s  %s\n", word, text.c_str());
    std::fflush(stdout);
}

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

// The readers print their own messages; the item line says what they meant instead.
class SilencedStdout {
public:
    SilencedStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        if (saved_ < 0) return;
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    SilencedStdout(const SilencedStdout&) = delete;
    SilencedStdout& operator=(const SilencedStdout&) = delete;

private:
    int saved_ = -1;
};

// ---- 2 configuration ----------------------------------------------------------------------------

// Reads the file as Kelmo reads Kelmo.ini from its current folder. False when Kelmo could not run
// from that folder at all.
bool readConfiguration(const std::string& name) {
    std::string error, warning;
    if (name == "Kelmo.ini") {
        if (!loadConfiguration(error, &warning)) {
            item(Verdict::Fatal, error);
            return false;
        }
    } else {
        loadConfigurationFrom(IniFile::load(name, &warning));
        if (!warning.empty())
            warning = "cannot read " + name + " (" + warning + "): every setting takes its default";
    }
    if (!warning.empty())
        item(Verdict::Warning, warning);
    else
        item(Verdict::Ok, name + ": read");
    return true;
}

// ---- 3 camera and patterns ----------------------------------------------------------------------

// Opens the source, takes one image after start and closes it again, so Kelmo finds the camera free.
// width and height stay 0 when it does not open.
void checkCamera(const TrackingConfig& tracking, int& width, int& height) {
    const std::string what = std::string("camera: CAM_CON ") + inQuotes(tracking.cameraConfig);
    CameraConfig sourceConfig;
    std::string error;
    if (!parseCameraConfig(tracking.cameraConfig, sourceConfig, error)) {
        item(Verdict::Fatal, what + ": " + error);
        return;
    }
    sourceConfig.cameraParamFile = tracking.cameraParamFile;
    std::unique_ptr<VideoSource> source = openVideoSource(sourceConfig, error);
    if (!source) {
        item(Verdict::Fatal, what + ": " + describeSource(sourceConfig) + " does not open: " + error);
        return;
    }
    source->start();
    const ImageView* image = nullptr;
    for (uint32_t waited = 0; image == nullptr && waited < kCameraWaitMs; waited += 5) {
        image = source->getImage();
        if (image == nullptr) sleepMilliseconds(5);
    }
    if (image != nullptr) source->releaseImage();
    source->stop();
    const std::string size = std::to_string(source->width()) + "x" + std::to_string(source->height());
    width = source->width();
    height = source->height();
    // Kelmo starts all the same, and shows nothing.
    if (image == nullptr) {
        item(Verdict::Missing, what + ": " + describeSource(sourceConfig) + " opened at " + size +
                                   " but gave no image in " + std::to_string(kCameraWaitMs / 1000) + " s");
        return;
    }
    item(Verdict::Ok, what + ": " + describeSource(sourceConfig) + ", " + size + ", gives images");
}

// The same tests as Kelmo's start-up: the file reads, its projection exists, its aspect is the image's.
void checkCameraFile(const TrackingConfig& tracking, int width, int height) {
    const std::string what = std::string("camera file: CAM_PARA ") + inQuotes(tracking.cameraParamFile);
    CameraParam loaded;
    std::string error;
    if (!loadCameraParam(tracking.cameraParamFile, loaded, error)) {
        item(Verdict::Fatal, what + ": " + error);
        return;
    }
    const std::string own = std::to_string(loaded.xsize) + "x" + std::to_string(loaded.ysize);
    if (width <= 0) {
        item(Verdict::Warning,
             what + ": reads, " + own + "; not compared with the camera image: the camera did not open");
        return;
    }
    double projection[16];
    if (!cameraProjection(changeCameraParamSize(loaded, width, height), projection)) {
        item(Verdict::Fatal, what + ": the camera matrix gives no projection");
        return;
    }
    const std::string image = std::to_string(width) + "x" + std::to_string(height);
    if (std::abs(static_cast<double>(width) * loaded.ysize - static_cast<double>(height) * loaded.xsize) >
        0.01 * static_cast<double>(height) * loaded.xsize) {
        item(Verdict::Warning, what + ": " + own + " has another aspect than the camera image " + image +
                                   ": the vertical focal length will be wrong; calibrate the camera at " +
                                   image + " (kelmo-calib)");
    } else if (loaded.xsize != width) {
        item(Verdict::Ok, what + ": " + own + ", scaled to the camera image " + image);
    } else {
        item(Verdict::Ok, what + ": " + own + ", the camera image's size");
    }
}

void checkPatterns(const TrackingConfig& tracking) {
    for (int i = 0; i < kPatternCount; ++i) {
        const PatternConfig& slot = tracking.patterns[i];
        const std::string what = "pattern " + std::to_string(i + 1) + ": FILE_PAT" + std::to_string(i + 1);
        if (slot.file[0] == '\0') {
            if (i == 0)
                item(Verdict::Missing, what + " is empty: the character needs pattern 1 and will not show");
            continue;
        }
        PatternData pattern;
        std::string error;
        char width[32];
        std::snprintf(width, sizeof width, "%g", slot.width);
        if (loadPatternFile(slot.file, pattern, error)) {
            item(Verdict::Ok, what + " " + inQuotes(slot.file) + ", " + width + " wide");
        } else {
            item(Verdict::Missing, what + " " + inQuotes(slot.file) + ": " + error +
                                       (i == 0 ? "; the character needs pattern 1 and will not show" : ""));
        }
    }
}

// ---- 4 motion sets ------------------------------------------------------------------------------

// A texture as the pool would ask for it, and the sets that use it.
struct TextureUse {
    std::string image, alpha;  // resolved against the document's folder, before the extension rewrite
    std::vector<std::string> users;
};
using TextureList = std::vector<TextureUse>;

void noteTexture(TextureList& textures, const std::string& image, const std::string& alpha, const char* set) {
    for (TextureUse& use : textures)
        if (use.image == image && use.alpha == alpha) {
            if (use.users.empty() || use.users.back() != set) use.users.emplace_back(set);
            return;
        }
    textures.push_back({image, alpha, {set}});
}

struct SetFindings {
    int frames = 0, missingFrames = 0;
    size_t fewestTriangles = 0, mostTriangles = 0;
    size_t leftOut = 0;        // notes and faces without a material, over all frames
    std::string firstLeftOut;  // "walk003.mqo line 12: ..."
    std::string unreadable;    // a document that is there but cannot be read
};

// One document, as the loader reads it (the loader also resolves textures; that is section 5 here).
bool examineDocument(const std::string& path, float scale, const char* set, SetFindings& found,
                     TextureList& textures) {
    MqoDocument document;
    std::string why;
    if (!parseDocument(path, yUpToZUp, scale, document, &why)) {
        if (!why.empty()) found.unreadable = path + ": " + why;
        return false;
    }
    for (const MqoMaterial& material : document.materials)
        if (material.useTexture)
            noteTexture(textures, document.directory + material.textureName,
                        material.alphaName[0] != '\0' ? document.directory + material.alphaName : "", set);
    const MqoModel model = buildModel(document);
    const size_t drawn = drawnTriangleCount(model);
    size_t shown = 0;  // triangles of visible objects
    for (const MqoObject& object : document.objects)
        if (object.visible != 0) shown += object.faces.size();
    found.fewestTriangles = found.frames == 0 ? drawn : std::min(found.fewestTriangles, drawn);
    found.mostTriangles = std::max(found.mostTriangles, drawn);
    ++found.frames;
    const size_t unmaterialled = shown > drawn ? shown - drawn : 0;
    if (found.leftOut == 0 && !document.skipped.empty())
        found.firstLeftOut = path + " " + document.skipped.front();
    if (found.leftOut == 0 && document.skipped.empty() && unmaterialled > 0)
        found.firstLeftOut = path + ": " + std::to_string(unmaterialled) + " triangle(s) without a material";
    found.leftOut += document.skipped.size() + unmaterialled;
    return true;
}

std::string describeFiles(const MotionConfig& config) {
    if (config.format[0] == '\0') return inQuotes(config.seqFile);
    std::string first, last;
    formatFramePath(config.format, config.seqFile, config.start, first);
    formatFramePath(config.format, config.seqFile, config.end, last);
    return inQuotes(first) + " to " + inQuotes(last) +
           (config.step != 1 ? " by " + std::to_string(config.step) : "");
}

// Kelmo refuses to start unless every set loads a frame with a triangle to draw.
void checkMotionSet(int index, TextureList& textures) {
    const MotionConfig& config = *getMotionConfig(index);
    const char* set = motionSectionName(index);
    const std::string what = std::string("motion [") + set + "]: " + describeFiles(config);
    const std::string problem = motionSequenceProblem(config, set);
    if (!problem.empty()) {
        item(Verdict::Fatal, problem);
        return;
    }
    SetFindings found;
    const float scale = static_cast<float>(config.scale);
    if (config.format[0] == '\0') {
        if (!examineDocument(config.seqFile, scale, set, found, textures)) ++found.missingFrames;
    } else if (isFramePathFormat(config.format) && config.start <= config.end && config.step >= 1) {
        for (int64_t n = config.start; n <= config.end && found.unreadable.empty(); n += config.step) {
            std::string path;
            if (!formatFramePath(config.format, config.seqFile, static_cast<int>(n), path) ||
                !examineDocument(path, scale, set, found, textures))
                ++found.missingFrames;
        }
    }
    if (!found.unreadable.empty()) {
        item(Verdict::Fatal, what + ": cannot read the document " + found.unreadable);
        return;
    }
    if (found.frames == 0) {
        item(Verdict::Fatal,
             what + ": no frame could be loaded (" + std::to_string(found.missingFrames) + " missing)");
        return;
    }
    if (found.mostTriangles == 0) {
        item(Verdict::Fatal, what + ": no triangle to draw (no face with a material in a visible object)");
        return;
    }
    std::string text = what + ": " + std::to_string(found.frames) + " frame(s)";
    if (found.missingFrames > 0) text += " (" + std::to_string(found.missingFrames) + " missing, skipped)";
    text += ", " + std::to_string(found.fewestTriangles);
    if (found.mostTriangles != found.fewestTriangles) text += " to " + std::to_string(found.mostTriangles);
    text += " triangles drawn per frame";
    if (found.leftOut > 0) {
        item(Verdict::Missing, text + "; " + std::to_string(found.leftOut) + " part(s) left out, first " +
                                   found.firstLeftOut +
                                   " (kelmo-mqo lists them; kelmo-mqo --fix rewrites documents)");
    } else {
        item(Verdict::Ok, text);
    }
}

// ---- 5 textures ---------------------------------------------------------------------------------

bool fileOpens(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

// Why the reader would not make the pair into a texture; empty when it would. size gets the edge.
std::string textureProblem(std::string image, std::string alpha, int& size) {
    const ImageFormat format = rewriteImageExtension(image);
    if (format == ImageFormat::Png || format == ImageFormat::Jpg)
        return "PNG and JPEG textures are not read, only TGA and BMP (kelmo-mqo --fix converts them); drawn "
               "without the texture";
    if (!fileOpens(image)) return image + " is missing or cannot be opened; drawn without the texture";
    RgbaImage decoded;
    std::string none;
    bool read = false;
    {
        SilencedStdout quiet;
        read = readImage(image, none, decoded);
    }
    if (!read)
        return image + " is not a square uncompressed TGA (24 or 32 bit) or 24-bit BMP of at most " +
               std::to_string(kMaxImageSize) + " pixels; drawn without the texture";
    size = decoded.size;
    if (alpha.empty()) return "";
    if (rewriteImageExtension(alpha) != ImageFormat::Tga)
        return "the alpha plane " + alpha +
               " is not read: alpha planes are TGA files; drawn without transparency";
    if (!fileOpens(alpha))
        return "the alpha plane " + alpha + " is missing or cannot be opened; drawn without transparency";
    {
        SilencedStdout quiet;
        read = readImage(image, alpha, decoded);
    }
    if (!read)
        return "the alpha plane " + alpha +
               " is not an 8-bit grey or 32-bit TGA of the texture's size; drawn without the texture";
    return "";
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

void checkTextures(const TextureList& textures, bool withWindow) {
    std::unique_ptr<TexturePool> pool;
    if (withWindow) pool = std::make_unique<TexturePool>();
    for (const TextureUse& use : textures) {
        std::string what = "texture " + inQuotes(use.image);
        if (!use.alpha.empty()) what += " with alpha plane " + inQuotes(use.alpha);
        what += " (" + joined(use.users) + ")";
        int size = 0;
        const std::string problem = textureProblem(use.image, use.alpha, size);
        if (!problem.empty()) {
            item(Verdict::Missing, what + ": " + problem);
            continue;
        }
        ++summary.texturesRead;
        const std::string edge = std::to_string(size) + "x" + std::to_string(size);
        if (!pool) {
            item(Verdict::Ok, what + ": " + edge + ", read; not uploaded (no X display)");
            continue;
        }
        std::string image = use.image, alpha = use.alpha;
        uint32_t texture = 0;
        {
            SilencedStdout quiet;
            texture = pool->getTexture(image, alpha);
        }
        if (texture == 0) {
            GLint limit = 0;
            glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
            item(Verdict::Missing, what + ": " + edge + " is larger than the graphics driver takes (" +
                                       std::to_string(limit) + "); drawn without the texture");
            continue;
        }
        item(Verdict::Ok, what + ": " + edge + ", uploaded");
    }
}

// ---- 6 movie ------------------------------------------------------------------------------------

// The container's streams and length, as FFmpeg sees them; empty when it cannot tell.
std::string describeStreams(const std::string& path) {
    AVFormatContext* format = nullptr;
    std::string reason;
    if (kelmo::openMovieInput(path, &format, reason) != 0) return "";
    std::string text;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        if (format->duration != AV_NOPTS_VALUE) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f s",
                          static_cast<double>(format->duration) / AV_TIME_BASE);
            text = seconds;
        }
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVCodecParameters* codec = format->streams[i]->codecpar;
            const char* name = avcodec_get_name(codec->codec_id);
            if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
                text += std::string(text.empty() ? "" : ", ") + "video " + name;
            else if (codec->codec_type == AVMEDIA_TYPE_AUDIO)
                text += std::string(text.empty() ? "" : ", ") + "sound " + name + " " +
                        std::to_string(codec->sample_rate) + " Hz " +
                        std::to_string(codec->ch_layout.nb_channels) + " ch";
        }
    }
    avformat_close_input(&format);
    return text;
}

void checkMovie(const MovieConfig& movie) {
    if (movie.file[0] == '\0') {
        item(Verdict::Ok, "movie: [MOVIE] FILE is empty: no movie and no screen");
        return;
    }
    const std::string what = "movie: " + inQuotes(movie.file);
    const int bricks = screenBrickCount(movie.screenDivideW, movie.screenDivideH);
    if (bricks > kMaxScreenBodies) {
        item(Verdict::Fatal, what + ": SCREEN_DIVIDE_W x SCREEN_DIVIDE_H makes " + std::to_string(bricks) +
                                 " bricks; the physics world holds at most " +
                                 std::to_string(kMaxScreenBodies));
        return;
    }
    VideoDecoder decoder;
    std::string reason;
    if (!decoder.open(movie.file, reason)) {
        item(Verdict::Missing, what + ": " + reason + "; Kelmo runs without the screen");
        return;
    }
    std::string text = what + ": " + std::to_string(decoder.width()) + "x" + std::to_string(decoder.height());
    const std::string streams = describeStreams(movie.file);
    if (!streams.empty()) text += ", " + streams;
    if (bricks == 0) {
        item(Verdict::Missing, text + "; SCREEN_DIVIDE_W or SCREEN_DIVIDE_H is below 1: no screen");
        return;
    }
    text += ", " + std::to_string(bricks) + " bricks";
    PcmTrack track;
    switch (decodeSoundTrack(movie.file, track, reason)) {
        case SoundTrack::Decoded:
            item(Verdict::Ok, text);
            break;
        case SoundTrack::Missing:
            item(Verdict::Ok, text + ", no sound track: plays silently");
            break;
        case SoundTrack::Unusable:
            item(Verdict::Warning,
                 text + "; the sound track cannot be played (" + reason + "): plays silently");
            break;
    }
}

// ---- 7 main -------------------------------------------------------------------------------------

int run(const std::string& argument) {
    const fs::path path(argument);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        std::printf("kelmo-check: %s is not a file%s\n", argument.c_str(),
                    fs::exists(path, error) ? "" : " (no such file)");
        return 1;
    }
    // Kelmo reads Kelmo.ini in its current folder and every path in it from there.
    const fs::path folder = fs::absolute(path, error).parent_path();
    if (chdir(folder.c_str()) != 0) {
        std::printf("kelmo-check: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    const std::string name = path.filename().string();
    std::printf("kelmo-check: %s\n", (folder / name).c_str());
    if (!readConfiguration(name)) return 1;

    const TrackingConfig& tracking = *getTrackingConfig();
    int width = 0, height = 0;
    checkCamera(tracking, width, height);
    checkCameraFile(tracking, width, height);
    checkPatterns(tracking);

    TextureList textures;
    for (int i = 0; i < kMotionSetCount; ++i) checkMotionSet(i, textures);
    const bool withWindow = !textures.empty() && openHiddenWindow("kelmo-check");
    checkTextures(textures, withWindow);
    checkMovie(*getMovieConfig());

    const bool good = summary.fatal == 0 && summary.missing == 0;
    std::printf("summary: %d ok, %d warning(s), %d failed: %s\n", summary.ok, summary.warnings,
                summary.fatal + summary.missing,
                summary.fatal > 0     ? "Kelmo would not start"
                : summary.missing > 0 ? "Kelmo would start but not draw everything"
                                      : "Kelmo would start and draw everything");
    if (summary.texturesRead > 0 && !withWindow)
        std::printf(
            "note: textures were read but not uploaded (no X display), so the graphics driver's "
            "size limit was not checked\n");
    return good ? 0 : 1;
}

}  // namespace
}  // namespace kelmo

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        const bool help =
            argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
        std::fputs(kelmo::kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    av_log_set_level(AV_LOG_QUIET);
    return kelmo::run(argc == 2 ? argv[1] : "Kelmo.ini");
}
