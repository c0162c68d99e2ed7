#pragma once
// A vertex buffer name that deletes its buffer. It moves but never copies, so a copied record cannot
// delete the name twice. GL thread only.
#include <GL/gl.h>

#include <utility>

namespace kelmo {

class BufferName {
public:
    BufferName() = default;
    explicit BufferName(GLuint name) : name_(name) {}
    ~BufferName() { reset(); }
    BufferName(BufferName&& other) noexcept : name_(std::exchange(other.name_, 0u)) {}
    BufferName& operator=(BufferName&& other) noexcept {
        if (this != &other) {
            reset();
            name_ = std::exchange(other.name_, 0u);
        }
        return *this;
    }
    BufferName(const BufferName&) = delete;
    BufferName& operator=(const BufferName&) = delete;

    GLuint get() const { return name_; }  // 0 when none
    // Deletes the buffer (when there is one and the entry point was fetched) and holds none.
    void reset();

private:
    GLuint name_ = 0;
};

}  // namespace kelmo
