#include "model/frame_path.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace kelmo {
namespace {

constexpr size_t kPathBuffer = 256;
constexpr int kMaxDigits = 3;

// Reads at most kMaxDigits digits; false when there are more.
bool skipDigits(const char*& p) {
    int digits = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (++digits > kMaxDigits) return false;
        ++p;
    }
    return true;
}

// One conversion after its '%': flags, width, precision and the conversion character (returned, or 0
// when it is malformed or refused). No '*' and no length modifier: either would consume or
// reinterpret arguments.
char conversion(const char*& p, const char* allowedFlags) {
    while (*p != '\0' && std::strchr(allowedFlags, *p) != nullptr) ++p;
    if (*p == '0') return 0;  // a '0' flag where it is not allowed
    if (!skipDigits(p)) return 0;
    if (*p == '.') {
        ++p;
        if (!skipDigits(p)) return 0;
    }
    return *p == '\0' ? 0 : *p++;
}

}  // namespace

bool isFramePathFormat(const std::string& format) {
    if (std::strlen(format.c_str()) != format.size()) return false;  // a NUL would hide the rest
    int consumed = 0;                                                // 0: none, 1: the text, 2: the number
    for (const char* p = format.c_str(); *p != '\0';) {
        if (*p++ != '%') continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        if (consumed == 0) {
            if (conversion(p, "-") != 's') return false;
        } else if (consumed == 1) {
            const char c = conversion(p, "-+ 0");
            if (c != 'd' && c != 'i') return false;
        } else {
            return false;
        }
        ++consumed;
    }
    return consumed == 2;
}

bool formatFramePath(const std::string& format, const std::string& base, int number, std::string& out) {
    if (!isFramePathFormat(format)) return false;
    char path[kPathBuffer];
    const int length = std::snprintf(path, sizeof path, format.c_str(), base.c_str(), number);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) return false;
    out.assign(path, static_cast<size_t>(length));
    return true;
}

}  // namespace kelmo
