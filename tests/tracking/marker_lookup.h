#pragma once
// The detected marker a test looks for.
#include <vector>

#include "tracking/marker_info.h"

namespace kelmo::testing_support {

// The identified marker with the given id, or null.
inline const MarkerInfo* findMarker(const std::vector<MarkerInfo>& markers, int id) {
    for (const MarkerInfo& m : markers)
        if (m.id == id) return &m;
    return nullptr;
}

}  // namespace kelmo::testing_support
