#pragma once
// The scan formats of the document reader ("col(%f %f %f %f) dif (%f) ...", " vertex %d", ...) read
// exactly as sscanf does with glibc in the C locale, but on a bounded piece of text, without a
// terminating NUL, independent of the process locale and many times faster.
//
// Directives: a blank matches any run of white space, including none; %d, %f and %s skip white space
// first; any other character must match itself. The first mismatch ends the scan and leaves the
// later targets unwritten.
#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace kelmo {

// Where one conversion goes: int* for %d, float* for %f, ScanText for %s.
struct ScanText {
    char* out;        // receives the token, cut to capacity - 1 characters, NUL-terminated
    size_t capacity;  // bytes at out, at least 1
};

class ScanTarget {
public:
    ScanTarget(int* out) : kind_('d'), int_(out) {}
    ScanTarget(float* out) : kind_('f'), float_(out) {}
    ScanTarget(ScanText out) : kind_('s'), text_(out) {}

private:
    friend int scanFormat(std::string_view, const char*, std::initializer_list<ScanTarget>);
    char kind_;
    union {
        int* int_;
        float* float_;
        ScanText text_;
    };
};

// Returns how many targets were written, in order. A target whose kind differs from its directive
// ends the scan there.
int scanFormat(std::string_view text, const char* format, std::initializer_list<ScanTarget> targets);

}  // namespace kelmo
