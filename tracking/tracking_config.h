#pragma once
// Camera and marker settings, read from Kelmo.ini by app/ and consumed by the tracker.

namespace kelmo {

constexpr int kPatternCount = 10;

struct PatternConfig {
    char file[256];  // pattern file; empty means the slot is unused
    double width;    // outer side of the black square; it defines the marker unit
};

struct TrackingConfig {
    char cameraConfig[256];     // video source configuration
    char cameraParamFile[256];  // camera parameter file
    PatternConfig patterns[kPatternCount];
};

}  // namespace kelmo
