#pragma once
// Whether the driver offers an extension family: its extensions advertised and every entry point of
// the family found. The base of the managers that make objects of that family. Needs the GLUT window.
#include <initializer_list>

#include "gl/entry_points.h"

namespace kelmo {

class ExtensionSupport {
public:
    // Asks for every extension, even after one is missing, then fetches the family into glExt.
    ExtensionSupport(ExtensionFamily family, std::initializer_list<const char*> extensions);
    virtual ~ExtensionSupport();
    ExtensionSupport(const ExtensionSupport&) = delete;
    ExtensionSupport& operator=(const ExtensionSupport&) = delete;

    // Every extension is advertised and every entry point was found.
    bool supported() const { return supported_; }

private:
    bool supported_ = false;
};

}  // namespace kelmo
