#pragma once
// A read-only INI file that answers look-ups the way GetPrivateProfileStringA does:
// - section and key names match case-insensitively (ASCII) and without surrounding blanks;
// - the first section of a name counts (later ones are skipped whole), and in it the first key;
// - a value loses surrounding blanks, then one pair of matching double or single quotes, and is
//   cut to 255 characters;
// - a line whose first non-blank character is ';' is a comment; ';' inside a value is kept;
// - "[name]" opens a section (the name ends at the last ']'); a '[' line without ']', other lines
//   without '=', and key lines before the first section are ignored;
// - LF and CRLF line ends, and a UTF-8 byte-order mark at the start, are accepted.
#include <map>
#include <string>
#include <string_view>

namespace kelmo {

class IniFile {
public:
    static constexpr std::size_t kMaxValueLength = 255;
    // A longer line keeps only its first kMaxLineLength characters.
    static constexpr std::size_t kMaxLineLength = 4096;
    // A larger file is not read (load).
    static constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

    // Text already in memory.
    static IniFile parse(std::string_view text);
    // A file that is missing or cannot be read gives an empty IniFile, so every look-up yields its
    // fallback. problem, when given, says why a file that is there cannot be read (a folder, no
    // permission, a read error, larger than kMaxFileBytes) and is emptied otherwise. The file is read
    // in chunks; memory stays within the longest kept line and the kept entries.
    static IniFile load(const std::string& path, std::string* problem = nullptr);

    // The value of key in section, or fallback when the section or the key is missing.
    std::string get(std::string_view section, std::string_view key, std::string_view fallback) const;

private:
    class Parser;
    using Section = std::map<std::string, std::string>;  // lower-case key -> value

    std::map<std::string, Section> sections_;  // lower-case name -> entries
};

}  // namespace kelmo
