// Reading the batch's text files (the job list, definitions, CC/BCC and
// attachment list files). They are Shift_JIS; a file saved as UTF-8 is refused,
// unless the settings say the files are UTF-8: then it is converted on reading.
#pragma once

#include "run/RetryRules.h"

#include <string>
#include <vector>

enum class TFileEncoding { kShiftJis, kUtf8 };

// "UTF-8" (any case, with or without the hyphen) is UTF-8; anything else Shift_JIS.
TFileEncoding FileEncodingOf(const std::string& settingsValue);

// Why a batch file cannot be used: empty when it can.
struct TFileProblem {
    bool unreadable = false; // it cannot be read at all (else: its text is refused)
    std::string text;        // CP932, naming the file
    explicit operator bool() const { return !text.empty(); }
};

// The file's text as the program's own (CP932), loaded whole with the load
// retry rule, or why the file cannot be used: it cannot be read, it is UTF-8
// where Shift_JIS is expected, or a UTF-8 character has no Shift_JIS form
// (the line and the character named). `text` is left alone on failure.
TFileProblem LoadBatchText(const std::string& path, TFileEncoding encoding, TRetryRules& retry, std::string& text);
TFileProblem LoadBatchLines(const std::string& path, TFileEncoding encoding, TRetryRules& retry,
                            std::vector<std::string>& lines);

// How the run reads the batch's files: the load retry rule and their encoding.
struct TBatchReader {
    TRetryRules& retry;
    TFileEncoding encoding = TFileEncoding::kShiftJis;

    TFileProblem Text(const std::string& path, std::string& text) const { return LoadBatchText(path, encoding, retry, text); }
    TFileProblem Lines(const std::string& path, std::vector<std::string>& lines) const
    {
        return LoadBatchLines(path, encoding, retry, lines);
    }
};

// The bytes of the file `name` as program text: unchanged when they are
// Shift_JIS (or plain ASCII), converted from UTF-8 when the encoding allows it.
// Returns empty on success, else why not.
std::string ToProgramText(std::string& bytes, TFileEncoding encoding, const std::string& name);
