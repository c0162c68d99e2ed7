#include "model/gl_buffers.h"

#include <GL/freeglut.h>

namespace kelmo {

BufferEntryPoints glBuffers;

namespace {

template <typename Proc>
void fetch(Proc& proc, const char* name) {
    // GLUTproc is void(*)(), the generic function pointer type, so this cast is the intended use.
    if (proc == nullptr) proc = reinterpret_cast<Proc>(glutGetProcAddress(name));
}

}  // namespace

bool fetchBufferEntryPoints() {
    fetch(glBuffers.genBuffers, "glGenBuffersARB");
    fetch(glBuffers.bindBuffer, "glBindBufferARB");
    fetch(glBuffers.bufferData, "glBufferDataARB");
    fetch(glBuffers.deleteBuffers, "glDeleteBuffersARB");
    return glBuffers.complete();
}

}  // namespace kelmo
