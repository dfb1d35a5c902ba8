#include "ui/TResultListModel.h"

#include "display/DisplayText.h"
#include "display/WindowWords.h"
#include "ui/SummaryText.h"

#include <QColor>

#include <algorithm>

TResultListModel::TResultListModel(const TResultRows& rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows)
{
    shown_ = static_cast<int>(rows_.Count());
    flush_.setSingleShot(true);
    connect(&flush_, &QTimer::timeout, this, &TResultListModel::Flush);
}

int TResultListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }
int TResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

const TResultRow& TResultListModel::RowAt(int k) const
{
    // Rows the view does not know yet sit on top of the ones it shows.
    return rows_.Row(static_cast<std::size_t>(k) + (rows_.Count() - static_cast<std::size_t>(shown_)));
}

QVariant TResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= shown_)
        return {};
    const TResultRow& row = RowAt(index.row());
    if (role == Qt::DisplayRole) {
        if (index.column() < 0 || index.column() >= 4)
            return {};
        return FromCp932(ResultCell(row, index.column()));
    }
    if (role == Qt::ForegroundRole)
        return ListView2CustomDrawItem(row);
    return {};
}

QVariant TResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section >= 0 && section < 4 ? FromCp932(jp::kResultColumns[section]) : QVariant();
}

bool TResultListModel::RowInserted()
{
    // The tree view lays out all its rows on every insertion. A short list
    // shows each row at once; a longer one hears of new rows in batches, the
    // rarer the longer it is (every 200 ms from 100 rows, every 2 s from
    // 10 000), so that laying out rows never takes a noticeable share of a run.
    constexpr int kImmediateRows = 100;
    ++pending_;
    if (shown_ + pending_ <= kImmediateRows) {
        Flush();
        return true;
    }
    if (!flush_.isActive())
        flush_.start(std::clamp(shown_ / 5, 200, 2000));
    return false;
}

void TResultListModel::Flush()
{
    flush_.stop();
    if (pending_ == 0)
        return;
    beginInsertRows(QModelIndex(), 0, pending_ - 1);
    shown_ += pending_;
    pending_ = 0;
    endInsertRows();
}

void TResultListModel::Reset()
{
    flush_.stop();
    pending_ = 0;
    beginResetModel();
    shown_ = static_cast<int>(rows_.Count());
    endResetModel();
}

QVariant TResultListModel::ListView2CustomDrawItem(const TResultRow& row)
{
    if (!ResultRowIsRed(row))
        return {};
    return QColor(255, 0, 0);
}
