#pragma once
// Which detected marker gives each pattern slot its pose in this frame.
#include <vector>

#include "tracking/marker_info.h"
#include "tracking/tracking_config.h"

namespace kelmo {

// slotIds[j]: the pattern id loaded into slot j, −1 for an unused slot. best[j] becomes the index of
// the marker with that id and the highest confidence (the first one on equal confidence), or −1 when
// no marker with confidence of at least minConfidence shows the slot's pattern.
void selectBestMarkers(const std::vector<MarkerInfo>& markers, const int slotIds[kPatternCount],
                       double minConfidence, int best[kPatternCount]);

}  // namespace kelmo
