#pragma once
// The first bytes of a small binary or text file (camera parameters, patterns), never more than the
// reader can use however large the file is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelmo {

enum class FileStart {
    Read,
    CannotOpen,
    ReadError,  // bytes holds what came before the error
};

// Up to limit bytes from the start of the file; bytes is resized to what was read.
FileStart readFileStart(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace kelmo
