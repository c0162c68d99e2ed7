#include "gl/buffer_name.h"

#include "gl/entry_points.h"

namespace kelmo {

void BufferName::reset() {
    // Without the entry point no buffer was ever made.
    if (name_ != 0 && glExt.deleteBuffers != nullptr) glExt.deleteBuffers(1, &name_);
    name_ = 0;
}

}  // namespace kelmo
