// The texts both windows show, as CP932: remaining time, fixed-point figures,
// summary cells, list cells and the red-row rule; and the window's fixed
// captions against their spelling.
#include "display/DisplayText.h"
#include "display/WindowWords.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

TEST(WindowWords, EveryConstantMatchesItsSpelling)
{
    for (const jp::Word& w : jp::kWindowWords)
        EXPECT_EQ(std::string(w.bytes), Sjis(w.utf8)) << w.utf8;
}

TEST(DisplayText, RemainingTimeAndFixedPoint)
{
    const struct {
        std::int64_t seconds;
        const char* text;
    } rest[] = {{3725, "1時間2分5秒"}, {59, "0時間0分59秒"}, {0, "0時間0分0秒"}, {86400, "24時間0分0秒"}};
    for (const auto& c : rest)
        EXPECT_EQ(FormatRestTime(c.seconds), Sjis(c.text)) << c.seconds;

    const struct {
        double value;
        const char* text;
    } fixed[] = {{0, "0.00"},          {1.5, "1.50"},         {0.125, "0.13"},
                 {1234.5678, "1234.57"}, {1234567.89, "1234567.90"}, {12345678.9, "12345679.00"}};
    for (const auto& c : fixed)
        EXPECT_EQ(FormatFixed2(c.value), c.text) << c.value;
}

TEST(DisplayText, SummaryCells)
{
    TRunOptions state;
    TSummaryCells cells = SummaryCells(state, "", 0, 0, 0);
    EXPECT_EQ(cells[3], Sjis("0件"));
    EXPECT_EQ(cells[4], Sjis("0.00分"));
    EXPECT_EQ(cells[5], Sjis("0.00秒"));

    state.ProcessName = Sjis("月次");
    state.SendUnit = 10;
    state.UnitWait = 1.5;
    state.MailPause = 0.25;
    cells = SummaryCells(state, Sjis("ご案内"), 12, 300, 3);
    const char* expected[] = {"月次", "ご案内", "12件/300件", "10件", "1.50分", "0.25秒", "3件"};
    for (int r = 0; r < 7; ++r)
        EXPECT_EQ(cells[r], Sjis(expected[r])) << r;
}

TEST(DisplayText, CellsAndRowColour)
{
    // A long cell is cut between characters and marked.
    const std::string so = "\x83\x5C"; // ソ: its second byte is a backslash
    std::string longText = "x";
    while (longText.size() < 5000)
        longText += so;
    const std::string cell = CellPrefix(longText);
    EXPECT_EQ(cell.size(), 1 + 511 * 2 + 2u);
    EXPECT_EQ(cell.substr(cell.size() - 2), std::string(jp::kEllipsis));
    EXPECT_EQ(CellPrefix(std::string(1024, 's')), std::string(1024, 's'));

    // One rule for a failed row: red, counted, and resent unless its outcome is unknown.
    const struct {
        std::int32_t status;
        bool unknown;
        const char* finding;
        bool red;
        const char* cell;
    } rows[] = {{0, false, "", false, "0"}, {1, false, "", true, "1"}, {-1, false, "", true, "-1"},
                {-2, true, "", true, "-2"}, {1, false, "E01", true, "E01"}};
    for (const auto& c : rows) {
        TResultRow row{"A01", "s", "TO:a@x.jp", c.status, c.unknown, "j", c.finding};
        EXPECT_EQ(ResultRowIsRed(row), c.red) << c.cell;
        EXPECT_EQ(row.Resendable(), c.red && !c.unknown) << c.cell;
        EXPECT_EQ(ResultCell(row, 3), c.cell);
    }
    const TResultRow row{"A01", "s", "TO:a@x.jp", 0, false, "j", ""};
    EXPECT_EQ(ResultCell(row, 0), "A01");
    EXPECT_EQ(ResultCell(row, 2), "TO:a@x.jp");
}

} // namespace
