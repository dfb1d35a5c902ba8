#include "CsvTable.h"
#include "MergeTemplate.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

// A table as "line:cell|cell" per row, or "error line: English text".
static std::string Shown(std::string_view bytes)
{
    std::string utf8;
    TTextError e;
    TCsvTable t;
    if (!DecodeText(bytes, utf8, e) || !ParseCsv(utf8, t, e))
        return "error " + std::to_string(e.Line) + ": " + e.En;
    auto cells = [](const std::vector<std::string>& v) {
        std::string s;
        for (std::size_t k = 0; k < v.size(); ++k)
            s += (k ? "|" : "") + v[k];
        return s;
    };
    std::string shown = cells(t.Header);
    for (const TCsvRow& row : t.Rows)
        shown += " / " + std::to_string(row.Line) + ":" + cells(row.Cells);
    return shown;
}

// Findings as "E line: English: detail", the template's lines marked "T".
static std::string Findings(const std::string& csv, const std::string& tmpl)
{
    TTextError e;
    TCsvTable table;
    EXPECT_TRUE(ParseCsv(csv, table, e)) << e.En;
    std::vector<TFinding> findings;
    const auto lines = ParseTemplate(tmpl, table.Header, findings);
    if (findings.empty())
        findings = MergeBatch(lines, table, -1).Findings;
    std::string shown;
    for (const TFinding& f : findings)
        shown += std::string(shown.empty() ? "" : "; ") + (f.Severity == TSeverity::Error ? "E" : "W") +
                 (f.InTemplate ? "T" : "") + std::to_string(f.Line) + ": " + f.En + (f.Detail.empty() ? "" : ": " + f.Detail);
    return shown;
}

const std::string kTemplate = "log.txt\n\n{to}\nfrom@x.jp\n{subject}\n\n{body}\n";

TEST(TarnMergeCsv, ReadsWhatSpreadsheetsWrite)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a,b\n\"x, y\",\"say \"\"hi\"\"\"\n", "a|b / 2:x, y|say \"hi\""},
        // A line break inside quotes stays in the value; the next row's line counts it.
        {"a,b\r\n\"1\r\n2\",3\r\n\"4\n\n5\",6\r\n7,8", "a|b / 2:1\r\n2|3 / 4:4\n\n5|6 / 7:7|8"},
        {"\xEF\xBB\xBF" "名前,宛先\n田中,t@x.jp\n", "名前|宛先 / 2:田中|t@x.jp"},
        {platform::Utf8ToCp932("名前,宛先\r\nｶﾀｶﾅ 髙橋,t@x.jp\r\n"), "名前|宛先 / 2:ｶﾀｶﾅ 髙橋|t@x.jp"},
        {"a,b\n\n,\n\n1,\"\"\n", "a|b / 3:| / 5:1|"},
        {"a,b\r\n1,\"open\r\n2,3\r\n", "error 2: a quote is left open"},
        {"a,b\n\"1\"x,2\n", "error 2: text after a closing quote"},
        {"a,b\n1,2\n3,4\"\n", "error 3: a quote inside an unquoted value"},
        {"a,b\n1,2\n\"3\n\",4,5\n", "error 3: the number of values differs from the header's (3/2)"},
        {"a,a\n", "error 1: the header names a column twice"},
        {"a,,b\n", "error 1: the header has a column without a name"},
        {"", "error 1: no header row"},
        {"a\n\x82\xA0\n\x82\n", "error 3: bytes that are neither Shift_JIS nor UTF-8"},
        {"\xEF\xBB\xBF" "a\n\xE3\x81\x82\n\xE3\x81\n", "error 3: bytes that are not UTF-8"},
    };
    for (const auto& [bytes, shown] : cases)
        EXPECT_EQ(Shown(bytes), shown) << bytes;
}

// Every check names the line it comes from: the CSV's row, or the template's line.
TEST(TarnMergeChecks, EachWithItsLine)
{
    const std::tuple<std::string, std::string, std::string> cases[] = { // CSV, template, findings
        {"to,subject,body\na@x.jp,s,b\n", "log\n\n{to}\nf@x.jp\n{subjekt}\n\n{body}\n",
         "ET5: no column of that name in the CSV: {subjekt}"},
        {"to\na@x.jp\n", "log\n\n{to}\nf@x.jp\n", "ET4: the template has fewer than the six header lines"},
        {"to,subject,body\na@x.jp,s,b\n", "log\n\n{to}\nf@x.jp\n{{{subject}}} ☃\n\n{body}\n",
         "ET5: a character Shift_JIS cannot hold: ☃ (U+2603)"},
        {"to,subject,body\na@x.jp,s,b\nb@x.jp,\"€ 😀\",\"ok\r\nstill ok\"\n", kTemplate,
         "E3: a character Shift_JIS cannot hold: subject: € (U+20AC)"},
        {"to,subject,body\n,s,b\n\"a@x.jp,,b@x.jp\",s,b\nfoo,s,b\n\"Name <c@x.jp>,>#cc cc.txt\",s,b\n", kTemplate,
         "E2: no recipient address; E3: an empty entry: the entries after it are not sent: b@x.jp; "
         "E4: a malformed recipient address: foo"},
        {"to,subject,body\na@x.jp,s,b\nb@x.jp,s,b\n\"x@y.jp,A@X.JP\",s,b\n", kTemplate,
         "W4: a second mail to the same recipient: A@X.JP (2行目 / line 2)"},
        {"to,subject,body\na@x.jp,\"two\nlines\",b\n", kTemplate,
         "E2: a line break or control character in a header line: subject (5行目 / line 5)"},
        {"to,subject,body\na@x.jp,s,\"b\x01\"\n", kTemplate, "E2: a control character: body"},
        {"to,from\na@x.jp,\"\"\"山田 <y@x.jp>\"\",r@x.jp\"\na@x.jp,山田 y@x.jp\n", "l\n\n{to}\n{from}\ns\n\n",
         "W3: a second mail to the same recipient: a@x.jp (2行目 / line 2); E3: a malformed sender address: 山田 y@x.jp"},
    };
    for (const auto& [csv, tmpl, findings] : cases)
        EXPECT_EQ(Findings(csv, tmpl), findings) << csv;
}
