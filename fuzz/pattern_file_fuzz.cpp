// Fuzzes the .patt reader over memory. Checks that a refused text leaves the pattern as it was with a
// reason, and that an accepted one survives writing and reading back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "tracking/pattern_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kelmo::PatternData pattern;
    std::memset(pattern.raw, 0xA5, sizeof pattern.raw);
    std::string error;
    if (!kelmo::parsePatternText(reinterpret_cast<const char*>(data), size, pattern, error)) {
        check(!error.empty());
        for (const auto& direction : pattern.raw)
            for (uint8_t value : direction) check(value == 0xA5);
        return 0;
    }
    const std::string text = kelmo::formatPatternText(pattern);
    kelmo::PatternData again;
    check(kelmo::parsePatternText(text.data(), text.size(), again, error));
    check(std::memcmp(again.raw, pattern.raw, sizeof pattern.raw) == 0);
    return 0;
}
