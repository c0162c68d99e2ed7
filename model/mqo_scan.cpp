#include "model/mqo_scan.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace kelmo {
namespace {

// White space of the C locale's isspace.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const char* skipSpace(const char* p, const char* end) {
    while (p < end && isSpace(*p)) ++p;
    return p;
}

// True when the text at p starts with word, ignoring ASCII case.
bool startsWithWord(const char* p, const char* end, const char* word) {
    for (; *word; ++word, ++p)
        if (p >= end || lower(*p) != *word) return false;
    return true;
}

// %d: glibc hands the digits to strtol (which saturates at the range of long) and stores the long in
// the int, keeping its low 32 bits.
bool scanInt(const char*& p, const char* end, int& out) {
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    const char* digits = q;
    constexpr unsigned long long kLongMax = LONG_MAX;
    unsigned long long magnitude = 0;
    bool overflow = false;
    for (; q < end && isDigit(*q); ++q) {
        if (!overflow) {
            magnitude = magnitude * 10 + static_cast<unsigned>(*q - '0');
            overflow = magnitude > kLongMax + 1;
        }
    }
    if (q == digits) return false;
    long value;
    if (negative)
        value = (overflow || magnitude > kLongMax) ? LONG_MIN : -static_cast<long>(magnitude);
    else
        value = (overflow || magnitude > kLongMax) ? LONG_MAX : static_cast<long>(magnitude);
    out = static_cast<int>(static_cast<unsigned int>(static_cast<unsigned long>(value)));
    p = q;
    return true;
}

// For a number that from_chars found outside the float range: whether it is too large (strtof gives
// infinity) rather than too small (strtof gives zero). Only the order of magnitude matters, because
// such numbers lie far above 1 or far below it. digits holds the mantissa and exponent without sign
// or "0x"; exponentChar is 'e' or 'p'; digitWeight is what one digit adds to the exponent (1 for
// decimal, 4 bits for hexadecimal).
bool tooLarge(std::string_view digits, char exponentChar, long digitWeight) {
    long magnitude = 0;
    size_t i = 0;
    bool seenNonZero = false;
    for (; i < digits.size() && digits[i] != '.' && lower(digits[i]) != exponentChar; ++i) {
        if (digits[i] != '0') seenNonZero = true;
        if (seenNonZero) magnitude += digitWeight;
    }
    if (i < digits.size() && digits[i] == '.') {
        for (++i; i < digits.size() && lower(digits[i]) != exponentChar; ++i) {
            if (seenNonZero) break;
            if (digits[i] != '0') seenNonZero = true;
            magnitude -= digitWeight;
        }
        while (i < digits.size() && lower(digits[i]) != exponentChar) ++i;
    }
    if (i < digits.size()) {
        ++i;
        bool negative = false;
        if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) negative = digits[i++] == '-';
        long exponent = 0;
        for (; i < digits.size() && isDigit(digits[i]); ++i)
            if (exponent < 100000000) exponent = exponent * 10 + (digits[i] - '0');
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

// Converts the number that %f collected (sign already removed) as strtof would: the longest prefix
// that forms a number counts; false when none does.
bool convertFloat(std::string_view number, bool hex, float& out) {
    float value = 0.0f;
    std::string_view digits = hex ? number.substr(2) : number;
    const auto format = hex ? std::chars_format::hex : std::chars_format::general;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, format);
    if (result.ec == std::errc::result_out_of_range) {
        value =
            tooLarge(digits, hex ? 'p' : 'e', hex ? 4 : 1) ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (result.ec != std::errc()) {
        if (!hex) return false;
        value = 0.0f;  // "0x" without hexadecimal digits: strtof takes the "0"
    }
    out = value;
    return true;
}

// %f: collects characters as glibc's scanf does (which may take more than strtof then uses, as the
// "e" of "1e"), then converts them.
bool scanFloat(const char*& p, const char* end, float& out) {
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) {
        negative = *q++ == '-';
        if (q == end) return false;
    }
    const char* number = q;
    float value;
    if (q < end && lower(*q) == 'n') {
        if (!startsWithWord(q, end, "nan")) return false;
        q += 3;
        value = std::numeric_limits<float>::quiet_NaN();
    } else if (q < end && lower(*q) == 'i') {
        if (!startsWithWord(q, end, "inf")) return false;
        q += 3;
        if (q < end && lower(*q) == 'i') {
            if (!startsWithWord(q, end, "inity")) return false;
            q += 5;
        }
        value = std::numeric_limits<float>::infinity();
    } else {
        bool hex = false;
        bool gotDigit = false;
        if (q < end && *q == '0') {
            ++q;
            if (q < end && lower(*q) == 'x') {
                hex = true;
                ++q;
            } else {
                gotDigit = true;
            }
        }
        const char exponentChar = hex ? 'p' : 'e';
        bool gotDot = false;
        bool gotExponent = false;
        for (; q < end; ++q) {
            const char c = *q;
            if (isDigit(c) || (hex && !gotExponent && isHexDigit(c))) {
                gotDigit = true;
            } else if (gotExponent && lower(q[-1]) == exponentChar && (c == '+' || c == '-')) {
            } else if (gotDigit && !gotExponent && lower(c) == exponentChar) {
                gotExponent = gotDot = true;
            } else if (!gotDot && c == '.') {
                gotDot = true;
            } else {
                break;
            }
        }
        if (q == number || (hex && q - number == 2)) return false;
        if (!convertFloat(std::string_view(number, static_cast<size_t>(q - number)), hex, value))
            return false;
    }
    out = negative ? -value : value;
    p = q;
    return true;
}

void scanText(const char*& p, const char* end, ScanText out) {
    const char* start = p;
    while (p < end && !isSpace(*p)) ++p;
    if (out.capacity == 0) return;
    const size_t length = std::min(static_cast<size_t>(p - start), out.capacity - 1);
    std::memcpy(out.out, start, length);
    out.out[length] = '\0';
}

}  // namespace

int scanFormat(std::string_view text, const char* format, std::initializer_list<ScanTarget> targets) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const ScanTarget* target = targets.begin();
    int written = 0;
    for (const char* f = format; *f; ++f) {
        if (isSpace(*f)) {
            p = skipSpace(p, end);
            continue;
        }
        if (*f != '%') {
            if (p == end || *p != *f) return written;
            ++p;
            continue;
        }
        ++f;
        if (target == targets.end() || target->kind_ != *f) return written;
        p = skipSpace(p, end);
        if (p == end) return written;
        bool ok = true;
        switch (*f) {
            case 'd':
                ok = scanInt(p, end, *target->int_);
                break;
            case 'f':
                ok = scanFloat(p, end, *target->float_);
                break;
            case 's':
                scanText(p, end, target->text_);
                break;
        }
        if (!ok) return written;
        ++target;
        ++written;
    }
    return written;
}

}  // namespace kelmo
