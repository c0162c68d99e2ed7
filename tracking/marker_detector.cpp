#include "tracking/marker_detector.h"

#include "tracking/marker_edges.h"
#include "tracking/pattern_sampler.h"
#include "tracking/square_finder.h"

namespace kelmo {

MarkerDetector::MarkerDetector(const CameraParam& param, const PatternMatcher& patterns)
    : param_(param), patterns_(patterns) {}

bool MarkerDetector::detect(const ImageView& image, int threshold, std::vector<MarkerInfo>& markers) {
    markers.clear();
    if (image.width != param_.xsize || image.height != param_.ysize) return false;
    std::vector<SquareCandidate> squares;
    if (!findSquares(image, threshold, squares)) return false;

    for (const SquareCandidate& square : squares) {
        MarkerInfo marker;
        if (!fitSquareEdges(image, param_, square, marker.line, marker.vertex)) continue;
        marker.area = square.area;
        marker.pos[0] = square.pos[0];
        marker.pos[1] = square.pos[1];
        uint8_t samples[kPatternValues];
        if (!samplePattern(image, param_, marker.vertex, samples)) continue;
        const PatternMatch match = patterns_.match(samples);
        marker.id = match.cf < kMinConfidence || !patterns_.confirms(samples, match) ? -1 : match.id;
        marker.dir = match.dir;
        marker.cf = match.cf;
        markers.push_back(marker);
    }
    return true;
}

}  // namespace kelmo
