#pragma once
// The model GL suites' window size, plain view and pixel read-back.
#include <vector>

#include "tests/support/gl_window.h"

namespace kelmo::testing_support {

constexpr int kGlWindowSize = 64;

// x, y in [−1, 1], identity modelview, black and depth cleared.
inline void resetView() {
    orthoView(kGlWindowSize, 1, 10);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// RGB rows from the bottom; one pixel when w = h = 1.
inline std::vector<int> pixels(int x = 0, int y = 0, int w = kGlWindowSize, int h = kGlWindowSize) {
    const std::vector<uint8_t> rgb = backBufferRgb(x, y, w, h);
    return std::vector<int>(rgb.begin(), rgb.end());
}

}  // namespace kelmo::testing_support
