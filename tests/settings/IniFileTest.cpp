#include "settings/IniFile.h"

#include "SettingsTestFolder.h"

#include <filesystem>

namespace {

class IniFileTest : public SettingsTestFolder {};

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveDefaultButEmptyValueIsEmpty)
{
    const std::string path = PathOf("a.ini");
    EXPECT_EQ(TIniFile(path).ReadString("S", "K", "def"), "def");

    Put(path, "[S]\r\nK=\r\nNoValue\r\n; K2=commented\r\n;K3=x\r\n[T]\r\nK2=t\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "");
    EXPECT_EQ(ini.ReadString("S", "NoValue", "def"), "def");
    EXPECT_EQ(ini.ReadString("S", "K2", "def"), "def");
    EXPECT_EQ(ini.ReadString("S", ";K3", "def"), "def");
    EXPECT_EQ(ini.ReadString("Missing", "K", "def"), "def");

    // A folder where the file should be reads like a missing file.
    std::filesystem::create_directory(PathOf("dir.ini"));
    EXPECT_EQ(TIniFile(PathOf("dir.ini")).ReadString("S", "K", "def"), "def");
}

TEST_F(IniFileTest, NamesIgnoreAsciiCaseAndBlanksButNotDoubleByteCharacters)
{
    const std::string path = PathOf("a.ini");
    // \x83\x41 and \x83\x61 are two different katakana whose second bytes are 'A' and 'a'.
    Put(path, "  [ pOs ]  \r\n\t toP \t=\t 12 \t\r\n\x83\x41=one\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Pos", "Top", ""), "12");
    EXPECT_EQ(ini.ReadString("POS", "TOP", ""), "12");
    EXPECT_EQ(ini.ReadString(" Pos ", " Top ", ""), "12");
    EXPECT_EQ(ini.ReadString("Pos", "\x83\x41", ""), "one");
    EXPECT_EQ(ini.ReadString("Pos", "\x83\x61", "none"), "none");
}

TEST_F(IniFileTest, SectionNameEndsAtACloseBracketCharacterNotASecondByte)
{
    // \x83\x5D is a katakana whose second byte is ']'.
    const std::string path = PathOf("a.ini");
    Put(path, "[\x83\x5D]\r\nK=v\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("\x83\x5D", "K", ""), "v");
}

TEST_F(IniFileTest, OnePairOfMatchingQuotesIsRemoved)
{
    const std::string path = PathOf("a.ini");
    Put(path,
        "[S]\r\nA=\" spaced \"\r\nB='x'\r\nC=\"\"\"\"\r\nD=\"\r\nE=\"x'\r\nF=\"\"\r\nG=a\"b\"\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "A", ""), " spaced ");
    EXPECT_EQ(ini.ReadString("S", "B", ""), "x");
    EXPECT_EQ(ini.ReadString("S", "C", ""), "\"\"");
    EXPECT_EQ(ini.ReadString("S", "D", ""), "\"");
    EXPECT_EQ(ini.ReadString("S", "E", ""), "\"x'");
    EXPECT_EQ(ini.ReadString("S", "F", "def"), "");
    EXPECT_EQ(ini.ReadString("S", "G", ""), "a\"b\"");
}

TEST_F(IniFileTest, FirstDuplicateSectionAndKeyWin)
{
    const std::string path = PathOf("a.ini");
    Put(path, "[S]\r\nK=first\r\nk=second\r\n[T]\r\nK=t\r\n[s]\r\nK=third\r\nOnlyLater=x\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", ""), "first");
    EXPECT_EQ(ini.ReadString("S", "OnlyLater", "def"), "def");
    // The key names follow the same rules: first section only, each name once.
    EXPECT_EQ(ini.ReadKeyNames("s"), (std::vector<std::string>{"K"}));
    EXPECT_EQ(ini.ReadKeyNames("T"), (std::vector<std::string>{"K"}));
    EXPECT_TRUE(ini.ReadKeyNames("Missing").empty());
    EXPECT_TRUE(TIniFile(PathOf("none.ini")).ReadKeyNames("S").empty());
}

TEST_F(IniFileTest, LineEndsOfEveryKindAndValuesWithEqualsSigns)
{
    const std::string path = PathOf("a.ini");
    Put(path, "[A]\nX=1\r[B]\r\nY=a=b\n[C]\rZ=3");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "X", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "Y", ""), "a=b");
    EXPECT_EQ(ini.ReadString("C", "Z", ""), "3");
}

TEST_F(IniFileTest, ValueIsCutAt2047BytesWithoutSplittingACharacter)
{
    const std::string path = PathOf("a.ini");
    const std::string longAscii(3000, 'x');
    // 2046 ASCII bytes, then a double-byte character across the limit.
    const std::string straddling = std::string(2046, 'y') + "\x82\xA0" + "zz";
    Put(path, "[S]\r\nA=" + longAscii + "\r\nB=" + straddling + "\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "A", ""), std::string(2047, 'x'));
    EXPECT_EQ(ini.ReadString("S", "B", ""), std::string(2046, 'y'));
}

TEST_F(IniFileTest, ControlBytesNulAndHalfCharactersFollowTheProfileRules)
{
    using namespace std::string_literals;
    struct TCase {
        const char* what;
        std::string file;
        const char* section;
        const char* key;
        std::string value;
    };
    const TCase cases[] = {
        {"vertical tab, form feed and ^Z are blanks", "\x0B[\x0BS\x0C]\r\n\x0CK\x1A=\x1A v\x0B\r\n", "S", "K", "v"},
        {"other control bytes are not", "[S]\r\nK=\x01v\x1B\r\n\x1FL=1\r\n", "S", "L", "def"},
        {"a value ends at a NUL byte", "[S]\r\nK=a \0b\r\n"s, "S", "K", "a "},
        {"so does a key name", "[S]\r\nK\0X=a\r\n"s, "S", "K", "a"},
        {"and a section name", "[S\0x]\r\nK=a\r\n"s, "S", "K", "a"},
        {"a lead byte alone at the end of a value is dropped", "[S]\r\nK=a\x82\r\n", "S", "K", "a"},
        {"also at the end of the file", "[S]\r\nK=\x82\x82\x82", "S", "K", "\x82\x82"},
        {"keys above the first header have the empty section name", "K=v\r\n[S]\r\n", "", "K", "v"},
        {"a later [] does not count", "[]\r\nK=v\r\n", "", "K", "def"},
    };
    const std::string path = PathOf("a.ini");
    for (const TCase& c : cases) {
        Put(path, c.file);
        EXPECT_EQ(TIniFile(path).ReadString(c.section, c.key, "def"), c.value) << c.what;
    }
    // Blanks in front of a written value are never read back, so they are not written.
    Put(path, "[S]\r\nK=old\r\n");
    ASSERT_TRUE(TIniFile(path).WriteString("S", "K", " \t\x0B v "));
    EXPECT_EQ(Get(path), "[S]\r\nK=v \r\n");
}

TEST_F(IniFileTest, WriteCreatesFileThenSectionsAtTheEndAndKeysAfterTheLastKey)
{
    const std::string path = PathOf("new.ini");
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("Pos", "Top", "1"));
    EXPECT_EQ(Get(path), "[Pos]\r\nTop=1\r\n");
    ASSERT_TRUE(ini.WriteString("Pos", "Left", "2"));
    EXPECT_EQ(Get(path), "[Pos]\r\nTop=1\r\nLeft=2\r\n");
    ASSERT_TRUE(ini.WriteString("Other", "K", "v"));
    EXPECT_EQ(Get(path), "[Pos]\r\nTop=1\r\nLeft=2\r\n\r\n[Other]\r\nK=v\r\n");

    // A new key goes after the section's last key, ahead of the comment and
    // blank line that lead into the next section.
    Put(path, "[A]\r\nX=1\r\n\r\n; about B\r\n[B]\r\nY=2");
    ASSERT_TRUE(ini.WriteString("A", "Z", "3"));
    EXPECT_EQ(Get(path), "[A]\r\nX=1\r\nZ=3\r\n\r\n; about B\r\n[B]\r\nY=2");
    // A last line without its line end gets one before anything follows it.
    ASSERT_TRUE(ini.WriteString("B", "W", "4"));
    EXPECT_EQ(Get(path), "[A]\r\nX=1\r\nZ=3\r\n\r\n; about B\r\n[B]\r\nY=2\r\nW=4\r\n");
    // A section without keys takes the key right after its header.
    Put(path, "[A]\n[B]\n");
    ASSERT_TRUE(ini.WriteString("A", "K", "v"));
    EXPECT_EQ(Get(path), "[A]\nK=v\r\n[B]\n");
    // An empty existing file gets no empty line in front of the section.
    Put(path, "");
    ASSERT_TRUE(ini.WriteString("S", "K", "v"));
    EXPECT_EQ(Get(path), "[S]\r\nK=v\r\n");
}

TEST_F(IniFileTest, ReplacingAValueKeepsEveryOtherByte)
{
    const std::string path = PathOf("a.ini");
    const std::string before = "; hand made\n[pos]\r  TOP =  \"7\"  \n"
                               "top=dup\r\n[Mail]\nName=\x83\x81\x81\x5B\x83\x8B.exe\r\n";
    Put(path, before);
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("Pos", "Top", "-25"));
    EXPECT_EQ(Get(path), "; hand made\n[pos]\r  TOP =  -25\n"
                         "top=dup\r\n[Mail]\nName=\x83\x81\x81\x5B\x83\x8B.exe\r\n");
    EXPECT_EQ(ini.ReadString("Pos", "Top", ""), "-25");
}

TEST_F(IniFileTest, FailedOrRefusedWritesReportFalseAndChangeNothing)
{
    // The parent of the path is a regular file: nothing can be created (even by root).
    Put(PathOf("plain"), "x");
    EXPECT_FALSE(TIniFile(PathOf("plain/a.ini")).WriteString("S", "K", "v"));
    // A folder stands where the file should be.
    std::filesystem::create_directory(PathOf("dir.ini"));
    EXPECT_FALSE(TIniFile(PathOf("dir.ini")).WriteString("S", "K", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(PathOf("dir.ini")));

    const std::string path = PathOf("a.ini");
    Put(path, "[S]\r\nK=old\r\n");
    TIniFile ini(path);
    EXPECT_FALSE(ini.WriteString("S", "K", "a\r\n[Evil]"));
    EXPECT_FALSE(ini.WriteString("S", "K=1", "v"));
    EXPECT_FALSE(ini.WriteString("S", "", "v"));
    EXPECT_FALSE(ini.WriteString("S]x", "K", "v"));
    EXPECT_FALSE(ini.WriteString("S", ";K", "v"));
    EXPECT_EQ(Get(path), "[S]\r\nK=old\r\n");
}

} // namespace
