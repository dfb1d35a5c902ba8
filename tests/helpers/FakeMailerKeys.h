// What both fake mailers (POSIX and Win32) share: the control keys, the
// record's hex notation, the print escapes and the exit-code sequence.
#pragma once

#include <cstdlib>
#include <map>
#include <string>

namespace fake_mailer {

// KEY=VALUE lines (LF or CR LF) of a control file into `keys`.
inline void ParseControl(const std::string& text, std::map<std::string, std::string>& keys)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
}

// The FAKE_MAILER_* variables of an environment block into `keys`.
inline void ParseEnvironment(char** envp, std::map<std::string, std::string>& keys)
{
    for (char** e = envp; *e; ++e) {
        const std::string kv = *e;
        const std::size_t eq = kv.find('=');
        if (eq != std::string::npos && kv.rfind("FAKE_MAILER_", 0) == 0)
            keys[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
}

inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// "\n", "\r" and "\t" escapes; a backslash before any other character stands
// for that character; a CP932 trail byte 0x5C is no escape.
inline std::string Unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (lead && i + 1 < s.size()) {
            out += s.substr(i, 2);
            ++i;
        } else if (s[i] == '\\' && i + 1 < s.size()) {
            const char e = s[++i];
            out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The exit code of run number `run` (from 0) of a sequence "0,3,0"; after the
// last value the last value repeats.
inline int SequenceCode(const std::string& seq, int run)
{
    int code = 0;
    int index = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = seq.find(',', start);
        code = std::atoi(seq.substr(start, comma == std::string::npos ? std::string::npos : comma - start).c_str());
        if (index == run || comma == std::string::npos)
            break;
        ++index;
        start = comma + 1;
    }
    return code;
}

} // namespace fake_mailer
