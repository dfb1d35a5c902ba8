// Our initialization-file reader and writer against the system's profile calls
// (GetPrivateProfileStringA, WritePrivateProfileStringA, code page 932): the
// same files read by both, the same writes made by both, compared byte for byte.
//
// The system here is Wine, under which the Windows tests run, and the answers
// pinned below are Wine's; Windows itself may answer some of the odd cases
// otherwise. Where the two differ the table carries the system's answer
// beside ours. The differences that remain, and why we keep
// our side:
//
// D1  Comments. A line that begins with ';' is a comment to us; the system
//     finds it as a key when asked for a name that begins with ';'. Our
//     callers ask only for fixed names, and our writer refuses such names, so
//     a commented-out setting stays out; asking for ";Key" is not a use.
// D2  Quoted value exactly filling the buffer. The system drops the last
//     character of a quoted value of 2047 bytes (it takes the copied text for
//     the whole one and cuts its "closing quote"). Ours gives all 2047 bytes:
//     the system's answer loses a character of the file.
// D3  Byte-order marks. The system decodes a file that begins with a UTF-8 or
//     UTF-16 mark as Unicode; ours reads bytes, so the mark belongs to the
//     first line and the section it starts is not seen. These files are
//     Shift_JIS, and our texts stay Shift_JIS end to end; a Unicode file would
//     bring characters without a Shift_JIS form. Writes differ accordingly:
//     ours adds lines in Shift_JIS (to a UTF-16 file too, which the system
//     rewrites in UTF-16).
// D4  Bytes that are no character. The system converts through Unicode and
//     back, so a lead byte without its second byte becomes the code page's
//     default character "・" (0x81 0x45), taking a following blank or control
//     byte with it. Ours keeps the file's bytes; only a lead byte that ends a
//     value alone is dropped, because it would join whatever the caller puts
//     after the value (a mailer command and its first option) into one
//     character. A written value is likewise stored as given.
// D5  Writing rewrites the whole file on the system's side: every line end
//     becomes CR LF, empty lines go, blanks around names and '=' go, a missing
//     last line end is added, text after a NUL byte on a line is lost, and a
//     key added to a section goes after the section's last line, comments
//     included. Ours changes the value of the key (or adds the line after the
//     section's last key) and keeps every other byte: the settings file is
//     edited by hand, and the operator's layout and comments are not ours to
//     reflow. Both files read back the same values afterwards (checked below).
// D6  A new section. The system appends it directly after the last line; ours
//     sets it off with an empty line, as a hand-written file looks. Both read
//     the same.
// D7  Writes that cannot be stored as one line. The system writes a value
//     with a line break, a key with '=', or a key that begins with ';' as
//     given, and the file then holds something else than was written (an
//     extra section, a key "K" with value "1=v", a comment). A section name
//     with ']' the system finds again, ours would not. Ours refuses all of
//     them and leaves the file alone.
// D8  Listing the keys of a section (no key name given). The system lists
//     every key line, so a name that appears twice is listed twice; ours lists
//     each name once, since only its first line can ever be read.
//
// Everything else in the corpus reads and writes alike: quotes, blanks around
// names and values (space, tab, vertical tab, form feed, ^Z; not the
// ideographic space), duplicate keys and sections (the first counts), the three
// kinds of line end, values beyond the 2048-byte buffer (cut to 2047 bytes
// without halving a character), empty values, keys without '=', Japanese
// section names, keys and values, trailing blanks, a missing last line end,
// keys above the first section header, and a NUL inside a line.
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// The read buffer of the settings reader's callers: 2048 bytes with the terminator.
constexpr DWORD kBufferBytes = 2048;
// A default that no file gives, so that "not found" is told apart from a value.
const std::string kDefault = "\x01" "default";

// One file's worth of work: a fresh folder per test and a fresh file name per
// file, because the system keeps recently used files cached by name.
class IniFileVsProfileCalls : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH + 1];
        const DWORD n = ::GetTempPathA(sizeof(temp), temp);
        ASSERT_GT(n, 0u);
        folder_ = std::string(temp, n) + "tarn_ini_" + std::to_string(::GetCurrentProcessId()) + "\\";
        ::CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::string NewPath(const char* side)
    {
        return folder_ + side + std::to_string(++files_) + ".ini";
    }
    static void Put(const std::string& path, const std::string& bytes)
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << bytes;
        ASSERT_TRUE(f.good()) << path;
    }
    static std::string Get(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    // The text the system reads, up to its terminator. (After cutting a
    // double-byte character at the buffer's end the count it returns covers
    // the terminator as well; the text is what a caller sees.)
    static std::string ProfileRead(const std::string& path, const std::string& section,
                                   const std::string& key)
    {
        std::vector<char> buffer(kBufferBytes + 16, '\0');
        ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault.c_str(), buffer.data(),
                                   kBufferBytes, path.c_str());
        return std::string(buffer.data());
    }

    std::string folder_;
    int files_ = 0;
};

std::string Repeat(const std::string& piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// ---------------------------------------------------------------- reading

struct TReadCase {
    const char* what;
    std::string file;
    std::string section;
    std::string key;
    std::string value;                               // what both give (ours, when they differ)
    std::optional<std::string> system = std::nullopt; // the system's answer where it differs
};

const std::string kLongX = std::string(3000, 'x');
const std::string kA = "\x82\xA0"; // a hiragana: 2 bytes

const std::vector<TReadCase>& ReadCases()
{
    static const std::vector<TReadCase> cases = {
        // Quotes
        {"double quotes", "[S]\r\nK=\"quoted\"\r\n", "S", "K", "quoted"},
        {"single quotes", "[S]\r\nK='x'\r\n", "S", "K", "x"},
        {"blanks inside quotes stay", "[S]\r\nK=\" sp \"\r\n", "S", "K", " sp "},
        {"blanks outside quotes go", "[S]\r\nK=  \"x\"  \r\n", "S", "K", "x"},
        {"a lone quote stays", "[S]\r\nK=\"quoted\r\n", "S", "K", "\"quoted"},
        {"quotes that do not match stay", "[S]\r\nK=\"x'\r\n", "S", "K", "\"x'"},
        {"quotes inside stay", "[S]\r\nK=a\"b\"\r\n", "S", "K", "a\"b\""},
        {"one pair only", "[S]\r\nK=\"\"\"\"\r\n", "S", "K", "\"\""},
        {"empty quotes", "[S]\r\nK=\"\"\r\n", "S", "K", ""},
        {"quoted Japanese", "[S]\r\nK=\"" + kA + "\"\r\n", "S", "K", kA},
        // Blanks and case
        {"blanks around names and values", "  [ S ]  \r\n\t k \t=\t v v \t\r\n", "S", "K", "v v"},
        {"vertical tab, form feed, ^Z are blanks", "\x0B[\x0BS\x0C]\r\n\x0CK\x1A=\x1A v\x0B\r\n", "S", "K", "v"},
        {"other control bytes are not", "[S]\r\nK=\x01v\x1B\r\n", "S", "K", "\x01v\x1B"},
        {"a control byte before a name", "[S]\r\n\x1FK=1\r\n", "S", "K", kDefault},
        {"the ideographic space is no blank", "[S]\r\nK=\x81\x40v\x81\x40\r\n", "S", "K", "\x81\x40v\x81\x40"},
        {"nor in front of a name", "[S]\r\n\x81\x40K=v\r\n", "S", "K", kDefault},
        {"trailing blanks", "[S]\r\nK=v  \r\n", "S", "K", "v"},
        {"blanks inside a value", "[S]\r\nK=x\t y\r\n", "S", "K", "x\t y"},
        {"blank inside a key", "[S]\r\nA B=inner\r\n", "S", "A B", "inner"},
        {"ASCII case", "[S]\r\nK=1\r\n", "s", "k", "1"},
        // Duplicates, comments, odd lines
        {"the first duplicate key counts", "[S]\r\nK=first\r\nk=second\r\n", "S", "K", "first"},
        {"the first duplicate section counts", "[S]\r\nA=1\r\n[T]\r\n[s]\r\nK=later\r\n", "S", "K", kDefault},
        {"a commented key is skipped", "[S]\r\n;K=c\r\nK=v\r\n", "S", "K", "v"},
        {"D1: a comment asked for by name", "[S]\r\n;K=c\r\n", "S", ";K", kDefault, "c"},
        {"'#' starts no comment", "[S]\r\n#K=c\r\n", "S", "#K", "c"},
        {"no comments after a value", "[S]\r\nK = v ; note\r\n", "S", "K", "v ; note"},
        {"'=' inside a value", "[S]\r\nY=a=b\r\n", "S", "Y", "a=b"},
        {"empty value", "[S]\r\nK=\r\n", "S", "K", ""},
        {"key without '='", "[S]\r\nK\r\n", "S", "K", kDefault},
        {"key without '=' among blanks", "[S]\r\n  K  \r\n", "S", "K", kDefault},
        {"empty key name", "[S]\r\n=noname\r\n", "S", "", "noname"},
        {"text after the closing bracket", "[S] trailing\r\nK=v\r\n", "S", "K", "v"},
        {"no closing bracket", "[S\r\nK=v\r\n", "S", "K", kDefault},
        {"a section without keys", "[S]\r\n[T]\r\nK=v\r\n", "S", "K", kDefault},
        {"empty lines", "\r\n\r\n  \r\n[S]\r\n\r\nK=v\r\n", "S", "K", "v"},
        {"keys above the first header", "K=v\r\n[S]\r\n", "", "K", "v"},
        {"a later [] does not count", "[]\r\nA=empty\r\n", "", "A", kDefault},
        // Line ends
        {"LF only", "[S]\nK=lf\n", "S", "K", "lf"},
        {"CR only", "[S]\rA=1\rK=cr\r", "S", "K", "cr"},
        {"LF CR", "[S]\n\rK=1\n\r", "S", "K", "1"},
        {"CR CR LF", "[S]\r\r\nK=1\r\r\n", "S", "K", "1"},
        {"no last line end", "[S]\r\nK=v", "S", "K", "v"},
        {"^Z after the last line", "[S]\r\nK=1\r\n\x1A", "S", "K", "1"},
        // Long values
        {"2047 bytes", "[S]\r\nK=" + std::string(2047, 'x') + "\r\n", "S", "K", std::string(2047, 'x')},
        {"2048 bytes", "[S]\r\nK=" + std::string(2048, 'x') + "\r\n", "S", "K", std::string(2047, 'x')},
        {"3000 bytes", "[S]\r\nK=" + kLongX + "\r\n", "S", "K", std::string(2047, 'x')},
        {"a character across the limit", "[S]\r\nK=" + std::string(2046, 'y') + kA + "zz\r\n", "S", "K",
         std::string(2046, 'y')},
        {"1500 double-byte characters", "[S]\r\nK=" + Repeat(kA, 1500) + "\r\n", "S", "K", Repeat(kA, 1023)},
        {"odd start, 1500 double-byte", "[S]\r\nK=x" + Repeat(kA, 1500) + "\r\n", "S", "K", "x" + Repeat(kA, 1023)},
        {"quoted 3000 bytes", "[S]\r\nK=\"" + kLongX + "\"\r\n", "S", "K", std::string(2047, 'x')},
        {"quoted 2046 bytes", "[S]\r\nK=\"" + std::string(2046, 'x') + "\"\r\n", "S", "K", std::string(2046, 'x')},
        {"D2: quoted 2047 bytes", "[S]\r\nK=\"" + std::string(2047, 'x') + "\"\r\n", "S", "K",
         std::string(2047, 'x'), std::string(2046, 'x')},
        // Japanese (CP932)
        {"Japanese section, key and value",
         "[\x90\xDD\x92\xE8]\r\n\x96\xBC\x91\x4F=\x92\x6C\x5C\r\n", "\x90\xDD\x92\xE8", "\x96\xBC\x91\x4F",
         "\x92\x6C\x5C"},
        {"']' as a second byte", "[\x83\x5D]\r\nK=v\r\n", "\x83\x5D", "K", "v"},
        {"'A' and 'a' as second bytes differ", "[S]\r\n\x83\x41=one\r\n", "S", "\x83\x61", kDefault},
        {"full-width letters keep their case", "[S]\r\n\x82\x60=fw\r\n", "S", "\x82\x81", kDefault},
        {"Greek letters keep their case", "[S]\r\n\x83\x9F=greek\r\n", "S", "\x83\xBF", kDefault},
        {"bytes outside the code page", "[S]\r\nK=\x80\xA0\xFD\r\n", "S", "K", "\x80\xA0\xFD"},
        {"D4: a lead byte alone ends the value", "[S]\r\nK=\x82\r\n", "S", "K", "", "\x81\x45"},
        {"D4: ... at the end of the file", "[S]\r\nK=a\x82", "S", "K", "a", "a\x81\x45"},
        {"D4: a lead byte before a blank", "[S]\r\nK=\x82 x\r\n", "S", "K", "\x82 x", "\x81\x45x"},
        // NUL bytes
        {"a value ends at NUL", "[S]\r\nK=a \0b\r\n"s, "S", "K", "a "},
        {"a key name ends at NUL", "[S]\r\nK\0X=a\r\n"s, "S", "K", "a"},
        {"a section name ends at NUL", "[S\0x]\r\nK=a\r\n"s, "S", "K", "a"},
        // Byte-order marks
        {"D3: UTF-8 mark", "\xEF\xBB\xBF[S]\r\nK=bom\r\n", "S", "K", kDefault, "bom"},
        {"D3: UTF-16 mark", "\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0u\0\r\0\n\0"s, "S", "K", kDefault, "u"},
    };
    return cases;
}

TEST_F(IniFileVsProfileCalls, ReadTheSameValues)
{
    for (const TReadCase& c : ReadCases()) {
        const std::string path = NewPath("r");
        Put(path, c.file);
        EXPECT_EQ(TIniFile(path).ReadString(c.section, c.key, kDefault), c.value) << c.what;
        EXPECT_EQ(ProfileRead(path, c.section, c.key), c.system.value_or(c.value)) << c.what;
    }
}

TEST_F(IniFileVsProfileCalls, ListTheSameKeysButDuplicatesOnce)
{
    const std::string path = NewPath("k");
    Put(path, "[S]\r\nA=1\r\n;c=2\r\nB\r\na=3\r\n\r\n  C  = 4\r\n[T]\r\nD=1\r\n[s]\r\nE=1\r\n");
    std::vector<char> buffer(kBufferBytes, '\0');
    const DWORD n = ::GetPrivateProfileStringA("S", nullptr, "", buffer.data(), kBufferBytes, path.c_str());
    std::vector<std::string> system;
    for (std::size_t i = 0; i < n; i += system.back().size() + 1)
        system.emplace_back(buffer.data() + i);
    EXPECT_EQ(system, (std::vector<std::string>{"A", "a", "C"}));                // D8
    EXPECT_EQ(TIniFile(path).ReadKeyNames("S"), (std::vector<std::string>{"A", "C"})); // each once
}

// ---------------------------------------------------------------- writing

struct TWrite {
    std::string section, key, value;
};

struct TWriteCase {
    const char* what;
    std::optional<std::string> before; // no file when empty
    std::vector<TWrite> writes;
    std::string after;                               // the file both leave (ours, when they differ)
    std::optional<std::string> system = std::nullopt; // the system's file where it differs
};

const std::vector<TWriteCase>& WriteCases()
{
    static const std::vector<TWriteCase> cases = {
        {"a new file", std::nullopt, {{"Pos", "Top", "1"}, {"Pos", "Left", "2"}},
         "[Pos]\r\nTop=1\r\nLeft=2\r\n"},
        {"an empty file", ""s, {{"Pos", "Top", "1"}}, "[Pos]\r\nTop=1\r\n"},
        {"values replaced in place",
         "[Pos]\r\nTop=1\r\nLeft=2\r\n[Mail]\r\nName=smail.exe\r\n"s,
         {{"Pos", "Top", "-25"}, {"Pos", "Left", "300"}},
         "[Pos]\r\nTop=-25\r\nLeft=300\r\n[Mail]\r\nName=smail.exe\r\n"},
        {"names in another case keep their spelling", "[pos]\r\nTOP=1\r\n"s, {{"Pos", "Top", "2"}},
         "[pos]\r\nTOP=2\r\n"},
        {"blanks around the written names", "[S]\r\nK=old\r\n"s, {{"  S  ", "  K  ", "v"}}, "[S]\r\nK=v\r\n"},
        {"the first duplicate key", "[S]\r\nK=old\r\nK=dup\r\n"s, {{"S", "K", "new"}},
         "[S]\r\nK=new\r\nK=dup\r\n"},
        {"the first duplicate section", "[S]\r\nK=1\r\n[S]\r\nL=2\r\n"s, {{"S", "L", "new"}},
         "[S]\r\nK=1\r\nL=new\r\n[S]\r\nL=2\r\n"},
        {"empty value", "[S]\r\nK=old\r\n"s, {{"S", "K", ""}}, "[S]\r\nK=\r\n"},
        {"leading blanks of a value dropped, trailing kept", "[S]\r\nK=old\r\n"s, {{"S", "K", " \tsp "}},
         "[S]\r\nK=sp \r\n"},
        {"quotes written as given", "[S]\r\nK=old\r\n"s, {{"S", "K", "\"q\""}}, "[S]\r\nK=\"q\"\r\n"},
        {"a long value written whole", "[S]\r\nK=old\r\n"s, {{"S", "K", kLongX}}, "[S]\r\nK=" + kLongX + "\r\n"},
        {"Japanese names and value",
         "[\x90\xDD\x92\xE8]\r\n\x96\xBC\x91\x4F=\x92\x6C\r\n"s,
         {{"\x90\xDD\x92\xE8", "\x96\xBC\x91\x4F", "\x83\x5C"}, {"\x90\xDD\x92\xE8", "\x92\x6C", "\x95\x5C"}},
         "[\x90\xDD\x92\xE8]\r\n\x96\xBC\x91\x4F=\x83\x5C\r\n\x92\x6C=\x95\x5C\r\n"},
        {"a key added after a last line without line end", "[S]\r\nK=old"s, {{"S", "L", "new"}},
         "[S]\r\nK=old\r\nL=new\r\n"},
        {"a key added to a section without keys", "[A]\r\n[B]\r\nY=2\r\n"s, {{"A", "K", "v"}},
         "[A]\r\nK=v\r\n[B]\r\nY=2\r\n"},
        {"D6: a new section after a comment", "[S]\r\nK=old\r\n;tail\r\n"s, {{"T", "K", "v"}},
         "[S]\r\nK=old\r\n;tail\r\n\r\n[T]\r\nK=v\r\n", "[S]\r\nK=old\r\n;tail\r\n[T]\r\nK=v\r\n"},
        {"D6: a new section", "[Mail]\r\nName=smail.exe\r\n"s, {{"Pos", "Top", "0"}, {"Pos", "Left", "0"}},
         "[Mail]\r\nName=smail.exe\r\n\r\n[Pos]\r\nTop=0\r\nLeft=0\r\n",
         "[Mail]\r\nName=smail.exe\r\n[Pos]\r\nTop=0\r\nLeft=0\r\n"},
        {"D5: a missing last line end", "[S]\r\nK=old"s, {{"S", "K", "new"}}, "[S]\r\nK=new",
         "[S]\r\nK=new\r\n"},
        {"D5: LF-only lines", "[A]\nX=1\n[B]\n"s, {{"A", "K", "v"}}, "[A]\nX=1\nK=v\r\n[B]\n",
         "[A]\r\nX=1\r\nK=v\r\n[B]\r\n"},
        {"D5: CR-only lines", "[S]\rK=old\rL=1\r"s, {{"S", "K", "new"}, {"S", "M", "m"}},
         "[S]\rK=new\rL=1\rM=m\r\n", "[S]\r\nK=new\r\nL=1\r\nM=m\r\n"},
        {"D5: blanks around names", "  [ pOs ]  \r\n\tTop\t=\t1\t\r\n"s, {{"Pos", "Top", "2"}},
         "  [ pOs ]  \r\n\tTop\t=\t2\r\n", "[pOs]\r\nTop=2\r\n"},
        {"D5: empty lines and comments", "; Tarnwick\r\n\r\n[A]\r\nX=1\r\n\r\n; about B\r\n[B]\r\nY=2\r\n"s,
         {{"A", "Z", "3"}}, "; Tarnwick\r\n\r\n[A]\r\nX=1\r\nZ=3\r\n\r\n; about B\r\n[B]\r\nY=2\r\n",
         "; Tarnwick\r\n[A]\r\nX=1\r\n; about B\r\nZ=3\r\n[B]\r\nY=2\r\n"},
        {"D5: a NUL inside a line", "[S]\r\nK=a\0b\r\nL=1\r\n"s, {{"S", "L", "2"}}, "[S]\r\nK=a\0b\r\nL=2\r\n"s,
         "[S]\r\nK=a\r\nL=2\r\n"s},
        {"D4: a written lead byte before a blank", "[S]\r\nK=old\r\n"s, {{"S", "K", "\x82 x"}},
         "[S]\r\nK=\x82 x\r\n", "[S]\r\nK=\x81\x45x\r\n"},
        {"D3: UTF-8 mark", "\xEF\xBB\xBF[S]\r\nK=old\r\n"s, {{"S", "K", "v"}},
         "\xEF\xBB\xBF[S]\r\nK=old\r\n\r\n[S]\r\nK=v\r\n", "\xEF\xBB\xBF[S]\r\nK=v\r\n"},
    };
    return cases;
}

TEST_F(IniFileVsProfileCalls, WriteTheSameBytes)
{
    for (const TWriteCase& c : WriteCases()) {
        const std::string ours = NewPath("o");
        const std::string system = NewPath("s");
        if (c.before) {
            Put(ours, *c.before);
            Put(system, *c.before);
        }
        TIniFile ini(ours);
        for (const TWrite& w : c.writes) {
            EXPECT_TRUE(ini.WriteString(w.section, w.key, w.value)) << c.what;
            EXPECT_TRUE(::WritePrivateProfileStringA(w.section.c_str(), w.key.c_str(), w.value.c_str(),
                                                     system.c_str()))
                << c.what;
        }
        EXPECT_EQ(Get(ours), c.after) << c.what;
        EXPECT_EQ(Get(system), c.system.value_or(c.after)) << c.what;

        // Whatever the bytes, the two files say the same to the system's
        // reader, and ours reads its own file as the system's reader does
        // (but where D3 and D4, differences of reading, come in).
        const bool readingDiffers = c.what[0] == 'D' && (c.what[1] == '3' || c.what[1] == '4');
        for (const TWrite& w : c.writes) {
            const std::string expected = ProfileRead(system, w.section, w.key);
            if (!readingDiffers) {
                EXPECT_EQ(ProfileRead(ours, w.section, w.key), expected) << c.what << ": " << w.key;
                EXPECT_EQ(ini.ReadString(w.section, w.key, kDefault), expected) << c.what << ": " << w.key;
            }
        }
    }
}

// D7: what ours refuses, the system writes, and the file no longer says what
// was written.
TEST_F(IniFileVsProfileCalls, WritesThatCannotBeOneLineAreRefused)
{
    struct TRefused {
        TWrite write;
        const char* readSection; // where the system's file then shows the damage
        const char* readKey;
        std::string systemReads;
    };
    const std::string before = "[S]\r\nK=old\r\n";
    const TRefused cases[] = {
        {{"S", "K", "a\r\n[Evil]\r\nX=1"}, "Evil", "X", "1"}, // a section that was never written
        {{"S", "K=1", "v"}, "S", "K", "old"},                 // "K=1=v": a second key K with value "1=v"
        {{"S", ";K", "v"}, "S", ";K", "v"},                   // a comment line, found only by its odd name
        // The system finds its "[S]x]" again; our reader would take it for
        // section "S" (a name ends at its first ']'), so ours cannot store it.
        {{"S]x", "K", "v"}, "S]x", "K", "v"},
    };
    for (const TRefused& c : cases) {
        const std::string ours = NewPath("o");
        const std::string system = NewPath("s");
        Put(ours, before);
        Put(system, before);
        EXPECT_FALSE(TIniFile(ours).WriteString(c.write.section, c.write.key, c.write.value)) << c.write.key;
        EXPECT_EQ(Get(ours), before) << c.write.key;
        EXPECT_TRUE(::WritePrivateProfileStringA(c.write.section.c_str(), c.write.key.c_str(),
                                                 c.write.value.c_str(), system.c_str()));
        EXPECT_EQ(ProfileRead(system, c.readSection, c.readKey), c.systemReads) << c.write.key;
    }
}

} // namespace
