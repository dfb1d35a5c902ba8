// Presents the run's result rows in ListView2: newest on top, failed rows in
// red. The rows belong to the run; a new row is one insertion at the top.
#pragma once

#include "run/ResultRows.h"

#include <QAbstractTableModel>
#include <QTimer>

class TResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultListModel(const TResultRows& rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The run put one row on top.
    // A row was put on top; true when the view heard of it at once.
    bool RowInserted();
    // Tells the view about the rows that arrived since the last notice.
    void Flush();
    // The run emptied or refilled the rows.
    void Reset();

    // The text colour of a row: red when its status cell is neither empty nor
    // exactly "0", otherwise none (the list's normal colour).
    static QVariant ListView2CustomDrawItem(const TResultRow& row);

private:
    const TResultRow& RowAt(int k) const;

    const TResultRows& rows_;
    int shown_ = 0;   // rows the view knows about
    int pending_ = 0; // rows on top of those, not yet announced
    QTimer flush_;
};
