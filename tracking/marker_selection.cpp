#include "tracking/marker_selection.h"

#include <cstddef>

namespace kelmo {

void selectBestMarkers(const std::vector<MarkerInfo>& markers, const int slotIds[kPatternCount],
                       double minConfidence, int best[kPatternCount]) {
    for (int j = 0; j < kPatternCount; ++j) best[j] = -1;
    for (int i = 0; i < static_cast<int>(markers.size()); ++i) {
        for (int j = 0; j < kPatternCount; ++j) {
            if (slotIds[j] == -1 || markers[static_cast<size_t>(i)].id != slotIds[j]) continue;
            if (best[j] == -1 ||
                markers[static_cast<size_t>(best[j])].cf < markers[static_cast<size_t>(i)].cf)
                best[j] = i;
        }
    }
    for (int j = 0; j < kPatternCount; ++j)
        if (best[j] != -1 && markers[static_cast<size_t>(best[j])].cf < minConfidence) best[j] = -1;
}

}  // namespace kelmo
