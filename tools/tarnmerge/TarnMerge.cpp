// tarnmerge: a customer list (CSV) and a template become a batch for
// Tarnwick: one Shift_JIS definition per row and the job list. Every row is
// checked before anything is written; --preview shows the first mails instead.
#include "CsvTable.h"
#include "MergeTemplate.h"

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// sysexits(3), as tarnmail's.
enum TExitCode : int {
    ecDone = 0,
    ecUsage = 64,    // bad command line
    ecData = 65,     // the CSV or the template cannot be read, or a check found errors
    ecNoInput = 66,  // the CSV or the template cannot be opened
    ecCantCreate = 73, // the batch folder cannot be made
    ecIoError = 74,  // a file of the batch cannot be written
};

const char* kUsage =
    "usage: tarnmerge [--code COLUMN] CSV TEMPLATE FOLDER\n"
    "       tarnmerge [--code COLUMN] --preview N CSV TEMPLATE\n"
    "       tarnmerge --help | --version\n";

const char* kHelp =
    "Makes a batch for Tarnwick from a customer list and a template: in FOLDER one\n"
    "Shift_JIS definition per row (m001.txt, ...) and the job list jobs.txt, whose\n"
    "lines name the definitions as FOLDER\\m001.txt: give FOLDER relative to\n"
    "Tarnwick's program folder, or absolute.\n"
    "\n"
    "  CSV            UTF-8 (with or without a byte-order mark) or Shift_JIS; the\n"
    "                 first row names the columns\n"
    "  TEMPLATE       a definition (six header lines, then the body) with {column}\n"
    "                 where a value goes; {{ and }} are braces\n"
    "  --code COLUMN  send codes from this column (default: the mails' numbers)\n"
    "  --preview N    show the first N mails as their recipients read them; write nothing\n"
    "\n"
    "Nothing is written when a check finds an error. Exit codes (sysexits): 0 done;\n"
    "64 usage, 65 data (the findings are listed), 66 no input, 73 the folder\n"
    "cannot be made, 74 a file cannot be written.\n";

void Say(const std::string& utf8) { std::fputs(platform::ToConsoleText(utf8 + "\n").c_str(), stderr); }

int Fail(int code, const std::string& ja, const std::string& en)
{
    Say("tarnmerge: " + ja + " (" + en + ")");
    if (code == ecUsage)
        std::fputs(kUsage, stderr);
    return code;
}

void Report(const TFinding& f, const std::string& csvName, const std::string& templateName)
{
    const bool error = f.Severity == TSeverity::Error;
    Say("tarnmerge: " + (f.InTemplate ? templateName : csvName) + ":" + std::to_string(f.Line) + ": " +
        (error ? "エラー: " : "警告: ") + f.Ja + " (" + (error ? "error: " : "warning: ") + f.En + ")" +
        (f.Detail.empty() ? "" : ": " + f.Detail));
}

// The text of a file as UTF-8, or the exit code of the failure.
int ReadText(const std::string& name, std::string& utf8)
{
    std::string bytes;
    if (!platform::TryLoadFile(platform::Utf8ToCp932(name), bytes))
        return Fail(ecNoInput, name + " を読めません", "cannot read " + name);
    TTextError e;
    if (!DecodeText(bytes, utf8, e))
        return Fail(ecData, name + ":" + std::to_string(e.Line) + ": " + e.Ja, e.En);
    return ecDone;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> args = platform::ProgramArgumentsUtf8(argc, argv);
    std::vector<std::string> files;
    std::string codeName;
    long preview = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "--version") {
            std::fputs(a == "--help" ? (std::string(kUsage) + kHelp).c_str() : "tarnmerge " TARNWICK_VERSION "\n", stdout);
            return ecDone;
        }
        if ((a == "--code" || a == "--preview") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--code") {
                codeName = v;
                continue;
            }
            char* end = nullptr;
            preview = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || preview < 0)
                return Fail(ecUsage, "--preview の値が数ではありません: " + v, "--preview takes a number");
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail(ecUsage, "知らないオプションです: " + a, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != (preview >= 0 ? 2u : 3u))
        return Fail(ecUsage, "CSV、テンプレート、出力フォルダーを指定してください", "name the CSV, the template and the batch folder");
    for (const std::string& f : files)
        if (!platform::HasCp932Form(f))
            return Fail(ecUsage, "Shift_JISにない文字を含む名前です: " + f, "a name with a character Shift_JIS cannot hold");
    // The job list names the definitions by the folder; a comma there would end the path early.
    std::string folder = preview >= 0 ? "" : platform::Utf8ToCp932(files[2]);
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    if (folder.find(',') != std::string::npos)
        return Fail(ecUsage, "フォルダー名にカンマは使えません: " + files[2], "a comma in the folder name would end the job list's path");

    std::string csvText, templateText;
    if (const int code = ReadText(files[0], csvText); code != ecDone)
        return code;
    if (const int code = ReadText(files[1], templateText); code != ecDone)
        return code;
    TCsvTable table;
    TTextError e;
    if (!ParseCsv(csvText, table, e))
        return Fail(ecData, files[0] + ":" + std::to_string(e.Line) + ": " + e.Ja, e.En);
    csvText = std::string(); // the table holds the values now

    int codeColumn = -1;
    if (!codeName.empty()) {
        const auto it = std::find(table.Header.begin(), table.Header.end(), codeName);
        if (it == table.Header.end())
            return Fail(ecUsage, "--code の列がCSVにありません: " + codeName, "no column " + codeName + " in the CSV");
        codeColumn = static_cast<int>(it - table.Header.begin());
    }
    std::vector<TFinding> templateFindings;
    const std::vector<TTemplateLine> lines = ParseTemplate(templateText, table.Header, templateFindings);
    TBatch batch;
    if (templateFindings.empty())
        batch = MergeBatch(lines, table, codeColumn);
    else
        batch.Findings = std::move(templateFindings);
    for (const TFinding& f : batch.Findings)
        Report(f, files[0], files[1]);
    const int errors = batch.Errors();
    const int warnings = static_cast<int>(batch.Findings.size()) - errors;
    if (errors > 0)
        return Fail(ecData, "エラー " + std::to_string(errors) + "件、警告 " + std::to_string(warnings) + "件: 何も書きません",
                    std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings: nothing written");

    if (preview >= 0) {
        for (std::size_t k = 0; k < batch.Mails.size() && k < static_cast<std::size_t>(preview); ++k) {
            const TDefinition& mail = batch.Mails[k];
            std::fputs(platform::ToConsoleText("=== " + mail.FileName + "  " + files[0] + ":" + std::to_string(mail.Line) +
                                               "  送信コード / send code " + platform::Cp932ToUtf8(mail.SendCode) + "\n" +
                                               PreviewText(mail) + "\n")
                           .c_str(),
                       stdout);
        }
        return ecDone;
    }

    if (!platform::CreateFolder(folder))
        return Fail(ecCantCreate, files[2] + " を作れません", "cannot make the folder " + files[2]);
    const std::string base = folder + platform::kPathSeparator;
    for (const TDefinition& mail : batch.Mails)
        if (!platform::TryWriteNewFile(base + mail.FileName, DefinitionText(mail)))
            return Fail(ecIoError, platform::Cp932ToUtf8(base + mail.FileName) + " に書き込めません", "cannot write a definition");
    // The job list last: it never names a definition that is not there.
    if (!platform::TryWriteNewFile(base + "jobs.txt", JobListText(batch, folder)))
        return Fail(ecIoError, files[2] + "/jobs.txt に書き込めません", "cannot write the job list");
    Say("tarnmerge: " + std::to_string(batch.Mails.size()) + "通の定義とジョブリストを書きました (" + std::to_string(batch.Mails.size()) +
        " definitions and the job list written, " + std::to_string(warnings) + " warnings): " +
        platform::Cp932ToUtf8(base) + "jobs.txt");
    return ecDone;
}
