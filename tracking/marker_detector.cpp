#include "tracking/marker_detector.h"

#include <algorithm>

#include "tracking/local_threshold.h"
#include "tracking/marker_edges.h"
#include "tracking/pattern_sampler.h"
#include "tracking/square_finder.h"

namespace kelmo {

MarkerDetector::MarkerDetector(const CameraParam& param, const PatternMatcher& patterns)
    : param_(param), patterns_(patterns) {}

bool MarkerDetector::identify(const ImageView& image, const SquareCandidate& square,
                              MarkerInfo& marker) const {
    if (!fitSquareEdges(image, param_, square, marker.line, marker.vertex)) return false;
    marker.area = square.area;
    marker.pos[0] = square.pos[0];
    marker.pos[1] = square.pos[1];
    uint8_t samples[kPatternValues];
    if (!samplePattern(image, param_, marker.vertex, samples)) return false;
    const PatternMatch match = patterns_.match(samples);
    marker.id = match.cf < kMinConfidence || !patterns_.confirms(samples, match) ? -1 : match.id;
    marker.dir = match.dir;
    marker.cf = match.cf;
    return true;
}

bool MarkerDetector::identifyFlattened(const ImageView& image, const SquareCandidate& square,
                                       MarkerInfo& marker) {
    int left = image.width, top = image.height, right = 0, bottom = 0;
    for (const ContourPoint& p : square.contour) {
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x + 1);
        bottom = std::max(bottom, p.y + 1);
    }
    // A window of a few pattern cells: wide enough to reach paper from inside most strokes, narrow
    // enough to follow a shadow's edge.
    constexpr int kPaperWindow = 9;
    constexpr int kPaper = 235;  // pattern files hold paper at about this level
    flattenLight(image, left - kPaperWindow, top - kPaperWindow, right + kPaperWindow, bottom + kPaperWindow,
                 kPaperWindow, kPaper, flat_);
    const ImageView flat{image.width, image.height, image.width * 3, flat_.data()};
    uint8_t samples[kPatternValues], seen[kPatternValues];
    if (!samplePattern(flat, param_, marker.vertex, samples) ||
        !samplePattern(image, param_, marker.vertex, seen))
        return false;
    const PatternMatch match = patterns_.match(samples);
    // Evening out the light turns large dark areas light as well, so the match must also hold for the
    // samples as the camera saw them.
    marker.id = match.cf < kMinConfidence || !patterns_.explains(seen, match.id, match.dir) ? -1 : match.id;
    marker.dir = match.dir;
    marker.cf = match.cf;
    return true;
}

bool MarkerDetector::detect(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers) {
    markers.clear();
    if (image.width != param_.xsize || image.height != param_.ysize) return false;
    std::vector<SquareCandidate> squares;
    if (!findSquares(image, threshold, squares)) return false;

    bool identified = false;
    for (const SquareCandidate& square : squares) {
        MarkerInfo marker;
        if (!identify(image, square, marker)) continue;
        identified = identified || marker.id >= 0;
        markers.push_back(marker);
    }
    if (!identified && patterns_.size() > 0 && !searchLocally(image, markers))
        bridgeNotches(image, threshold, markers);
    return true;
}

void MarkerDetector::bridgeNotches(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers) {
    SquareFinderLimits limits;
    limits.bridgeNotches = true;
    std::vector<SquareCandidate> squares;
    if (!findSquares(image, threshold, squares, limits)) return;
    for (const SquareCandidate& square : squares) {
        MarkerInfo marker;
        // The squares without a notch were tried already.
        if (!square.bridged || !identify(image, square, marker) || marker.id < 0) continue;
        markers.push_back(marker);
    }
}

bool MarkerDetector::searchLocally(const ImageView& image, std::vector<MarkerInfo>& markers) {
    localDarkMask(image, LocalThreshold(), mask_);
    std::vector<SquareCandidate> squares;
    if (!findSquaresInMask(MaskView{image.width, image.height, image.width, mask_.data()}, squares))
        return false;
    bool found = false;
    for (const SquareCandidate& square : squares) {
        MarkerInfo marker;
        bool ok = identify(image, square, marker);
        if (ok && marker.id < 0) ok = identifyFlattened(image, square, marker);
        if (!ok || marker.id < 0) continue;
        markers.push_back(marker);
        found = true;
    }
    return found;
}

}  // namespace kelmo
