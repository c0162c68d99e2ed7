#include "gl/extension_support.h"

#include <GL/freeglut.h>

namespace kelmo {

ExtensionSupport::ExtensionSupport(ExtensionFamily family, std::initializer_list<const char*> extensions) {
    bool all = true;
    for (const char* name : extensions) all &= glutExtensionSupported(name) != 0;
    supported_ = all && fetchEntryPoints(family);
}

ExtensionSupport::~ExtensionSupport() = default;

}  // namespace kelmo
