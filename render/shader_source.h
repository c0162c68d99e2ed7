#pragma once
// The GLSL text of the shadow program, assembled from fixed pieces and a few numbers. Pure: needs no
// GL context, so the text can be printed (kelmo-glsl) and checked without a window.
#include <string>

namespace kelmo {

struct ShadowShaderSettings {
    static constexpr unsigned kMaxColourUnits = 2;

    int lightNumber = 0;                        // index into gl_LightSource
    int colourUnits[kMaxColourUnits] = {0, 0};  // texture unit numbers (0 for GL_TEXTURE0)
    unsigned colourUnitCount = 1;               // entries beyond kMaxColourUnits are ignored
    int shadowUnit = 1;                         // unit of the shadow map
    float shadowFactor = 0.4f;                  // darkness of the shadow colour, used clamped into [0, 1]
    double minShadowAlpha = 0.5;                // lowest alpha of shadowed fragments, clamped into [0, 1]
};

// Both texts begin with "#version 120": the fragment text mixes vectors with integer literals
// (gl_FragColor/3), which GLSL 1.10 forbids and conforming drivers reject.
std::string shadowVertexSource(const ShadowShaderSettings& settings);
std::string shadowFragmentSource(const ShadowShaderSettings& settings);

// Into [0, 1]; NaN becomes 0.
double clampUnitInterval(double value);

}  // namespace kelmo
