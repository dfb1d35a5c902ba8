// Initialization files with the classic profile rules, over CP932 byte texts.
//
// Reading: section and key names match without regard to ASCII case (double-byte
// characters match exactly); blanks (space, tab, vertical tab, form feed, ^Z)
// around names and values are dropped; names and values end at a NUL byte; one
// pair of matching quotes (" or ') around a value is removed; only the first
// section of a name and the first key of a name in it count; keys above the
// first section header belong to the section with the empty name; a value is
// cut to kMaxValueBytes without splitting a double-byte character, and a lead
// byte that ends a value alone is dropped. Lines end CR LF, LF or CR. A line
// whose first non-blank character is ';' is a comment, a line without '=' is
// not a key. A missing file, section or key gives the caller's default; a key
// with an empty value gives an empty text.
//
// Writing changes only the line of the key (or adds lines) and keeps every
// other byte of the file; blanks in front of a written value are dropped. The file is read afresh on every call: these files
// are tiny and touched a handful of times in a run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class TIniFile {
public:
    // The read buffer of the classic calls holds 2048 bytes with the terminator.
    static constexpr std::size_t kMaxValueBytes = 2047;

    explicit TIniFile(std::string path);

    const std::string& Path() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;

    // The names of the keys of the first section of that name, in file order,
    // each once (the classic call with no key name lists a repeated name again,
    // though only its first line can be read). Empty when the file or the
    // section is missing.
    std::vector<std::string> ReadKeyNames(std::string_view section) const;

    // Creates the file, the section and the key as needed, or replaces the value
    // of an existing key in place. Added lines end CR LF. One attempt, no retries.
    // False when the file cannot be read or written, or when a name or the value
    // cannot be stored as one line (empty name, line break, '=' in the key,
    // ']' in the section name, a key beginning with ';' or '[').
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string path_;
};
