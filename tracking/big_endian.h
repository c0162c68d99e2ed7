#pragma once
// Big-endian fields of ARToolKit's binary camera files, whatever the machine's own byte order.
#include <cstdint>
#include <cstring>

namespace kelmo::big_endian {

inline uint64_t read(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

inline int32_t readInt32(const uint8_t* p) { return static_cast<int32_t>(static_cast<uint32_t>(read(p, 4))); }

inline double readDouble(const uint8_t* p) {
    const uint64_t bits = read(p, 8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// count doubles one after another into out; returns the bytes after them.
inline const uint8_t* readDoubles(const uint8_t* p, double* out, int count) {
    for (int i = 0; i < count; ++i, p += 8) out[i] = readDouble(p);
    return p;
}

// The head both camera file layouts start with: the image width and height, then the 3×4 camera
// matrix row by row. Returns the bytes after it.
inline const uint8_t* readCameraHead(const uint8_t* p, int& xsize, int& ysize, double mat[3][4]) {
    xsize = readInt32(p);
    ysize = readInt32(p + 4);
    return readDoubles(p + 8, &mat[0][0], 12);
}

inline void write(uint64_t value, int bytes, uint8_t* p) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

inline void writeDouble(double value, uint8_t* p) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    write(bits, 8, p);
}

}  // namespace kelmo::big_endian
