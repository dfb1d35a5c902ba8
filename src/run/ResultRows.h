// The result list's rows, newest on top. Rows are kept in the order they were
// added, so putting a row on top is an append; the window maps its row k to
// the k-th newest.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The list shows the start of a long cell only (the files keep the whole
// text): a row keeps at most this much of its subject and recipients, enough
// for the list to know the text goes on.
inline constexpr std::size_t kResultRowCellBytes = 4096;

struct TResultRow {
    std::string SendCode;    // caption column
    std::string Subject;
    std::string Recipients;  // recipient display
    std::string Status;      // status code in decimal
    // The job-list line that sends this row's mail again: definition path, a
    // comma, send code. Each row carries its own so that a resend can never
    // pick another row's mail.
    std::string JobLine;
    // The mail's mailer was started by a run that died before its outcome was
    // recorded: it may have been sent, so it is never resent by the program.
    bool OutcomeUnknown = false;
};

class TResultRows {
public:
    std::size_t Count() const { return rows_.size(); }
    // Row k counted from the top (0 = newest).
    const TResultRow& Row(std::size_t k) const { return rows_[rows_.size() - 1 - k]; }
    void InsertTop(TResultRow row) { rows_.push_back(std::move(row)); }
    void Clear() { rows_.clear(); rows_.shrink_to_fit(); }
    void Reserve(std::size_t n) { rows_.reserve(n); }

private:
    std::vector<TResultRow> rows_;
};
