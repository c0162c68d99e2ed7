#pragma once
// Small TGA and BMP files built in memory for the image reader and texture pool tests.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace kelmo::testing_support {

using Bytes = std::vector<uint8_t>;

// Easily told apart bytes: k · 7 + seed.
inline Bytes patternBytes(size_t count, uint8_t seed = 1) {
    Bytes bytes(count);
    for (size_t k = 0; k < count; ++k) bytes[k] = static_cast<uint8_t>(k * 7 + seed);
    return bytes;
}

inline void putLe(Bytes& bytes, size_t at, uint32_t value, int count) {
    for (int k = 0; k < count; ++k) bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

struct Tga {
    int type = 2, depth = 24, width = 2, height = 2, idLength = 0, colourMapType = 0;
};

// Header, identification field and the pixels (by default every pixel byte, from patternBytes).
inline Bytes tgaFile(const Tga& spec, const Bytes& pixels) {
    Bytes bytes(18, 0);
    bytes[0] = uint8_t(spec.idLength), bytes[1] = uint8_t(spec.colourMapType), bytes[2] = uint8_t(spec.type);
    putLe(bytes, 12, spec.width, 2);
    putLe(bytes, 14, spec.height, 2);
    bytes[16] = uint8_t(spec.depth);
    bytes.insert(bytes.end(), spec.idLength, 0xEE);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}
inline Bytes tgaFile(const Tga& spec, uint8_t seed = 1) {
    return tgaFile(spec, patternBytes(size_t(spec.width) * spec.height * (spec.depth / 8), seed));
}

struct Bmp {
    int32_t width = 2, height = 2;
    uint32_t bitCount = 24, compression = 0, infoBytes = 40, dataOffset = 0;  // 0: after the info header
};

// `rows` holds width · 3 bytes a row; each row is padded to four bytes here.
inline Bytes bmpFile(const Bmp& spec, const Bytes& rows) {
    const uint32_t offset = spec.dataOffset != 0 ? spec.dataOffset : 14 + spec.infoBytes;
    Bytes bytes(offset < 54 ? 54 : offset, 0);
    bytes[0] = 'B', bytes[1] = 'M';
    putLe(bytes, 10, offset, 4);
    putLe(bytes, 14, spec.infoBytes, 4);
    putLe(bytes, 18, spec.width, 4);
    putLe(bytes, 22, spec.height, 4);
    putLe(bytes, 26, 1 | spec.bitCount << 16, 4);
    putLe(bytes, 30, spec.compression, 4);
    bytes.resize(offset);
    const size_t rowBytes = spec.width > 0 ? size_t(spec.width) * 3 : 0;
    for (size_t at = 0; rowBytes > 0 && at + rowBytes <= rows.size(); at += rowBytes) {
        bytes.insert(bytes.end(), rows.begin() + at, rows.begin() + at + rowBytes);
        bytes.insert(bytes.end(), (4 - rowBytes % 4) % 4, 0xAA);
    }
    return bytes;
}
inline Bytes bmpFile(const Bmp& spec, uint8_t seed = 1) {
    return bmpFile(
        spec, patternBytes(size_t(spec.width) * (spec.height < 0 ? -spec.height : spec.height) * 3, seed));
}

inline bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    return static_cast<bool>(
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())));
}

}  // namespace kelmo::testing_support
