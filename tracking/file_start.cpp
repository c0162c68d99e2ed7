#include "tracking/file_start.h"

#include <fstream>

namespace kelmo {

FileStart readFileStart(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) return FileStart::CannotOpen;
    bytes.resize(limit);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(file.gcount()));
    return file.bad() ? FileStart::ReadError : FileStart::Read;
}

}  // namespace kelmo
