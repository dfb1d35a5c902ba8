// The result list's rows, newest on top. Rows are kept in the order they were
// added, so putting a row on top is an append; the window maps its row k to
// the k-th newest.
#pragma once

#include "run/ResultLine.h"

#include <cstddef>
#include <vector>

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
