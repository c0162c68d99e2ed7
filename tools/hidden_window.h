#pragma once
// A GL context for tools that upload textures without showing a window.

namespace kelmo {

// Opens a hidden 1×1 GLUT window named name when an X display answers; false without one (GLUT
// would end the process instead of failing). Call once per process.
bool openHiddenWindow(const char* name);

}  // namespace kelmo
