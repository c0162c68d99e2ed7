#include "app/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kelmo {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// ASCII only: a locale's case rules must not change which names match.
std::string lowerName(std::string_view name) {
    std::string out(trim(name));
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

// Takes the text in pieces of any size and files each complete line as it arrives.
class IniFile::Parser {
public:
    explicit Parser(IniFile& ini) : ini_(ini) {}

    void feed(std::string_view chunk) {
        while (!chunk.empty()) {
            const std::size_t newline = chunk.find('\n');
            const std::string_view piece = chunk.substr(0, newline);
            if (newline != std::string_view::npos && pending_.empty() && piece.size() <= kMaxLineLength) {
                line(piece);
            } else {
                // Past kMaxLineLength the rest of a line is dropped: a file without line ends must not
                // grow memory.
                pending_.append(piece.substr(0, kMaxLineLength - std::min(pending_.size(), kMaxLineLength)));
                if (newline == std::string_view::npos) return;
                line(pending_);
                pending_.clear();
            }
            chunk.remove_prefix(newline + 1);
        }
    }

    void finish() {
        if (!pending_.empty()) line(pending_);
        pending_.clear();
    }

private:
    void line(std::string_view text) {
        if (firstLine_) {
            firstLine_ = false;
            if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
                text.remove_prefix(kByteOrderMark.size());
        }
        text = trim(text);
        if (text.empty() || text.front() == ';') return;
        if (text.front() == '[') {
            std::size_t close = text.rfind(']');
            if (close == std::string_view::npos) return;
            // emplace keeps an earlier section of the same name, which is the one look-ups find;
            // a repeated section's entries are dropped rather than merged into it.
            auto [it, added] = ini_.sections_.emplace(lowerName(text.substr(1, close - 1)), Section{});
            current_ = added ? &it->second : nullptr;
            return;
        }
        std::size_t equals = text.find('=');
        if (current_ == nullptr || equals == std::string_view::npos) return;
        std::string key = lowerName(text.substr(0, equals));
        if (current_->count(key) != 0) return;
        std::string_view value = unquote(trim(text.substr(equals + 1)));
        current_->emplace(std::move(key), std::string(value.substr(0, kMaxValueLength)));
    }

    IniFile& ini_;
    Section* current_ = nullptr;  // null before the first section and inside a repeated one
    std::string pending_;         // the start of a line whose end has not arrived yet
    bool firstLine_ = true;
};

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    Parser parser(ini);
    parser.feed(text);
    parser.finish();
    return ini;
}

IniFile IniFile::load(const std::string& path, std::string* problem) {
    if (problem) problem->clear();
    IniFile ini;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int error = errno;
        if (problem && error != ENOENT && error != ENOTDIR) *problem = std::strerror(error);
        return ini;
    }
    Parser parser(ini);
    char buffer[64 * 1024];
    std::size_t got;
    std::size_t total = 0;
    bool tooLarge = false;
    while (!tooLarge && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        total += got;
        // Also what ends a file that never ends, such as /dev/zero.
        tooLarge = total > kMaxFileBytes;
        if (!tooLarge) parser.feed(std::string_view(buffer, got));
    }
    // A read error part-way (a directory, a failing disk) counts as an unreadable file.
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed || tooLarge) {
        if (problem)
            *problem =
                failed ? std::strerror(error) : "larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return IniFile();
    }
    parser.finish();
    return ini;
}

std::string IniFile::get(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto s = sections_.find(lowerName(section));
    if (s == sections_.end()) return std::string(fallback);
    auto k = s->second.find(lowerName(key));
    if (k == s->second.end()) return std::string(fallback);
    return k->second;
}

}  // namespace kelmo
