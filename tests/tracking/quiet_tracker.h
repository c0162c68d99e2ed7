#pragma once
// The tracker started and ended in a test, with what it prints kept for the test or dropped.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "tracking/tracking.h"

namespace kelmo::testing_support {

// initTrackingWithSource, its console output in `console`.
inline bool initTrackingCapturing(const TrackingConfig& config, std::unique_ptr<VideoSource> source,
                                  std::string& console) {
    testing::internal::CaptureStdout();
    const bool initialised = initTrackingWithSource(config, std::move(source));
    console = testing::internal::GetCapturedStdout();
    return initialised;
}

// cleanupTracking without the frame-rate report it prints.
inline void cleanupTrackingQuietly() {
    testing::internal::CaptureStdout();
    cleanupTracking();
    testing::internal::GetCapturedStdout();
}

}  // namespace kelmo::testing_support
