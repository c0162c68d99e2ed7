#include "tracking/marker_selection.h"

#include <gtest/gtest.h>

namespace kelmo {
namespace {

MarkerInfo marker(int id, double cf) {
    MarkerInfo m;
    m.id = id;
    m.cf = cf;
    return m;
}

struct Selection {
    int best[kPatternCount];
};

Selection select(const std::vector<MarkerInfo>& markers, std::initializer_list<int> ids) {
    int slotIds[kPatternCount];
    std::fill(std::begin(slotIds), std::end(slotIds), -1);
    int j = 0;
    for (int id : ids) slotIds[j++] = id;
    Selection s;
    selectBestMarkers(markers, slotIds, 0.5, s.best);
    return s;
}

TEST(MarkerSelection, HighestConfidenceWinsAndTiesKeepTheFirst) {
    EXPECT_EQ(select({marker(0, 0.7), marker(0, 0.9)}, {0}).best[0], 1);
    EXPECT_EQ(select({marker(0, 0.9), marker(0, 0.7)}, {0}).best[0], 0);
    EXPECT_EQ(select({marker(0, 0.8), marker(0, 0.8)}, {0}).best[0], 0);
    // Markers of other patterns and unidentified ones never give slot 0 its pose.
    EXPECT_EQ(select({marker(1, 0.99), marker(-1, 0.3), marker(0, 0.6)}, {0, 1}).best[0], 2);
    EXPECT_EQ(select({marker(1, 0.99), marker(-1, 0.3), marker(0, 0.6)}, {0, 1}).best[1], 0);
}

TEST(MarkerSelection, ConfidenceBelowOneHalfIsIgnored) {
    EXPECT_EQ(select({marker(0, 0.49)}, {0}).best[0], -1);
    EXPECT_EQ(select({marker(0, 0.5)}, {0}).best[0], 0);
    // The best one decides: a weak best match is not replaced by nothing better.
    EXPECT_EQ(select({marker(0, 0.3), marker(0, 0.45)}, {0}).best[0], -1);
}

TEST(MarkerSelection, UnusedSlotsTakeNoMarker) {
    // Slot 0 unused, slot 2 holds pattern id 0: an unidentified marker (id -1) never matches the
    // unused slots' -1.
    const Selection s = select({marker(-1, 0.9), marker(0, 0.8)}, {-1, -1, 0});
    EXPECT_EQ(s.best[0], -1);
    EXPECT_EQ(s.best[1], -1);
    EXPECT_EQ(s.best[2], 1);
    for (int j = 3; j < kPatternCount; ++j) EXPECT_EQ(s.best[j], -1);
}

}  // namespace
}  // namespace kelmo
