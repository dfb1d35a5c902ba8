#include "settings/Rw_ini.h"

#include "jtext/JpWords.h"
#include "platform/Errors.h"

#include "SettingsTestFolder.h"
#include "support/TestSystem.h"

#include <filesystem>

namespace {

class RwIniTest : public SettingsTestFolder {};

TEST_F(RwIniTest, MissingFilesGiveTheDefaults)
{
    const TSettings s = ReadSettings(PathOf("Tarnwick.ini"));
    EXPECT_EQ(s.Top, 0);
    EXPECT_EQ(s.Left, 0);
    EXPECT_EQ(s.Name, "smail.exe");
    EXPECT_EQ(s.EnableTrace, 0);
    EXPECT_EQ(s.NoTopt, 0);

    const TDesign d = ReadDesign(PathOf("DesignConfig.ini"));
    EXPECT_EQ(d.Title, "Tarnwick(Sedge)");
    EXPECT_EQ(d.BGColor, "C8D0D4");
    EXPECT_EQ(d.Button1BGColor, "C8D0D4");
    EXPECT_EQ(d.Button1TXColor, "000000");
    EXPECT_EQ(d.Button2BGColor, "C8D0D4");
    EXPECT_EQ(d.Button2TXColor, "000000");
}

TEST_F(RwIniTest, ReadsEveryKeyFromItsOwnSection)
{
    Put(PathOf("s.ini"), "[Mail]\r\nName=\r\nEnableTrace=1\r\nNoTopt=0x10\r\n"
                         "[Pos]\r\nLeft=-1920\r\nTop=$64\r\n");
    const TSettings s = ReadSettings(PathOf("s.ini"));
    EXPECT_EQ(s.Top, 100);
    EXPECT_EQ(s.Left, -1920);
    EXPECT_EQ(s.Name, ""); // present but empty: not the default
    EXPECT_EQ(s.EnableTrace, 1);
    EXPECT_EQ(s.NoTopt, 16);

    // \x8E\xE8\x8E\x86 is a two-character Japanese caption.
    Put(PathOf("d.ini"), "[App]\r\nTitle=\x8E\xE8\x8E\x86\r\n[BG]\r\nColor=ff0000\r\n"
                         "[Button2]\r\nTXColor=0000FF\r\n[Button1]\r\nBGColor=\r\n");
    const TDesign d = ReadDesign(PathOf("d.ini"));
    EXPECT_EQ(d.Title, "\x8E\xE8\x8E\x86");
    EXPECT_EQ(d.BGColor, "ff0000");
    EXPECT_EQ(d.Button1BGColor, "");
    EXPECT_EQ(d.Button1TXColor, "000000");
    EXPECT_EQ(d.Button2BGColor, "C8D0D4");
    EXPECT_EQ(d.Button2TXColor, "0000FF");
}

TEST(ParseIniInteger, HexDecimalSignsAndGarbage)
{
    EXPECT_EQ(ParseIniInteger("0x64", 7), 100);
    EXPECT_EQ(ParseIniInteger("0X7fffFFFF", 7), 2147483647);
    EXPECT_EQ(ParseIniInteger("0xFFFFFFFF", 7), -1);
    EXPECT_EQ(ParseIniInteger("$64", 7), 100);
    EXPECT_EQ(ParseIniInteger("-$64", 7), -100);
    EXPECT_EQ(ParseIniInteger("  -42", 7), -42);
    EXPECT_EQ(ParseIniInteger("\t+42", 7), 42);
    EXPECT_EQ(ParseIniInteger("0042", 7), 42);
    EXPECT_EQ(ParseIniInteger("-2147483648", 7), INT32_MIN);
    EXPECT_EQ(ParseIniInteger("2147483647", 7), INT32_MAX);

    for (const char* bad : {"", " ", "-", "+", "abc", "12abc", "12 ", "0x", "0x-5", "0xG1", " 0x64",
                            "$", "$-5", "$ 5", "1.5", "--1", "2147483648", "-2147483649",
                            "99999999999999999999", "$100000000", "0x100000000"})
        EXPECT_EQ(ParseIniInteger(bad, 7), 7) << '"' << bad << '"';
}

TEST(ColorFromText, HexDigitsOnlyAndThirtyTwoBitsAtMost)
{
    // The text reads BBGGRR: the lowest byte is red.
    EXPECT_EQ(ColorFromText("C8D0D4", 1), 0xC8D0D4u);
    EXPECT_EQ(ColorFromText("C8D0D4", 1) & 0xFF, 0xD4u);
    EXPECT_EQ(ColorFromText("c8d0d4", 1), 0xC8D0D4u);
    EXPECT_EQ(ColorFromText("0000FF", 1), 0xFFu);
    EXPECT_EQ(ColorFromText("f", 1), 0xFu);
    EXPECT_EQ(ColorFromText("1C8D0D4", 1), 0x1C8D0D4u);
    EXPECT_EQ(ColorFromText("FFFFFFFF", 1), 0xFFFFFFFFu);

    for (const char* bad : {"", "#C8D0D4", "$C8D0D4", "0xC8D0D4", "C8D0G4", " C8D0D4", "-1",
                            "1C8D0D4D4"})
        EXPECT_EQ(ColorFromText(bad, kDefaultFace), kDefaultFace) << '"' << bad << '"';
}

TEST_F(RwIniTest, FirstWriteLeavesOnlyPosWithTopAndLeft)
{
    const std::string path = PathOf("Tarnwick.ini");
    TSettings s;
    s.Top = -1080;
    s.Left = 250;
    WriteSettings(path, s);
    EXPECT_EQ(Get(path), "[Pos]\r\nTop=-1080\r\nLeft=250\r\n");

    const TSettings back = ReadSettings(path);
    EXPECT_EQ(back.Top, -1080);
    EXPECT_EQ(back.Left, 250);
    EXPECT_EQ(back.Name, "smail.exe");
}

TEST_F(RwIniTest, HandEditedFileSurvivesExceptTheTwoValues)
{
    const std::string path = PathOf("Tarnwick.ini");
    const std::string head = "; Tarnwick settings\n\n[Mail]\nName = \"C:\\tools\\smail.exe\"\n"
                             "EnableTrace=1\nNoTopt=1\n\n[ pos ]\n";
    const std::string tail = "\n; keep me\n[Extra]\r\nTop=5\r\n";
    Put(path, head + "  left = 0x10\ntop=abc" + tail);

    const TSettings before = ReadSettings(path);
    EXPECT_EQ(before.Top, 0);
    EXPECT_EQ(before.Left, 16);
    EXPECT_EQ(before.Name, "C:\\tools\\smail.exe");

    TSettings s = before;
    s.Top = -3;
    s.Left = 1200;
    WriteSettings(path, s);
    EXPECT_EQ(Get(path), head + "  left = 1200\ntop=-3" + tail);

    const TSettings after = ReadSettings(path);
    EXPECT_EQ(after.Top, -3);
    EXPECT_EQ(after.Left, 1200);
    EXPECT_EQ(after.Name, before.Name);
    EXPECT_EQ(after.EnableTrace, 1);
    EXPECT_EQ(after.NoTopt, 1);
}

TEST_F(RwIniTest, FailedWriteThrowsWithThePathAndLeavesLeftUnwritten)
{
    const std::string expectedSuffix(jp::kCannotWriteSuffix);

    // The parent of the settings file is a regular file.
    Put(PathOf("plain"), "x");
    const std::string blocked = PathOf("plain/Tarnwick.ini");
    try {
        WriteSettings(blocked, TSettings{});
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), blocked + expectedSuffix);
    }

    // A folder in place of the file: it must stay a folder.
    const std::string folder = PathOf("Folder.ini");
    std::filesystem::create_directory(folder);
    EXPECT_THROW(WriteSettings(folder, TSettings{}), EIniFileException);
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // Someone else holds the file: the write fails and the file is not touched.
    const std::string held = PathOf("Held.ini");
    Put(held, "[Pos]\r\nTop=1\r\nLeft=2\r\n");
    {
        TFileHold hold(held);
        ASSERT_TRUE(hold.Held());
        TSettings s;
        s.Top = 10;
        s.Left = 20;
        EXPECT_THROW(WriteSettings(held, s), EIniFileException);
    }
    EXPECT_EQ(Get(held), "[Pos]\r\nTop=1\r\nLeft=2\r\n");
}

} // namespace
