#pragma once
// Puts a GL capability back into a saved on/off state.
#include <GL/gl.h>

namespace kelmo {

inline void setEnabled(GLenum capability, bool on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

}  // namespace kelmo
