// Fuzzes the INI reader over memory and, through a file, over its chunked reading. Checks what the
// configuration relies on: a value is at most 255 characters, a missing name gives the fallback.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ini_file.h"
#include "fuzz/fuzz_check.h"

namespace {

int file = -1;  // an in-memory file that load() reads the input from

// The names of the first "[section]" and the first "key=" after it, so look-ups also hit.
void namesFrom(std::string_view text, std::string& section, std::string& key) {
    const size_t open = text.find('[');
    const size_t close = open == std::string_view::npos ? open : text.find(']', open);
    if (close == std::string_view::npos) return;
    section = std::string(text.substr(open + 1, close - open - 1));
    const size_t lineEnd = text.find('\n', close);
    if (lineEnd == std::string_view::npos) return;
    const size_t equals = text.find('=', lineEnd);
    if (equals == std::string_view::npos) return;
    key = std::string(text.substr(lineEnd + 1, equals - lineEnd - 1));
}

void checkLookups(const kelmo::IniFile& ini, const std::string& section, const std::string& key,
                  bool mentionsNeverSection) {
    static const std::string_view kFallback = "\x01no such value";
    const std::string_view names[][2] = {
        {section, key}, {"ARToolKit", "CAM_CON"}, {"MOVIE", "FILE"}, {"Metaseq_stay", "START"}};
    for (const auto& name : names)
        check(ini.get(name[0], name[1], "").size() <= kelmo::IniFile::kMaxValueLength);
    // Only where the input does not name that section itself (the fuzzer learns compared strings).
    if (!mentionsNeverSection) check(ini.get("\x02 never a section", key, kFallback) == kFallback);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    file = memfd_create("ini", 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string section, key;
    namesFrom(text, section, key);
    const bool mentionsNeverSection = text.find("never a section") != std::string_view::npos;
    checkLookups(kelmo::IniFile::parse(text), section, key, mentionsNeverSection);

    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    checkLookups(kelmo::IniFile::load("/proc/self/fd/" + std::to_string(file)), section, key, mentionsNeverSection);
    return 0;
}
