// The quote list's rows: the values read, row 0 the newest quote, in the order they were added. A cell's
// text is made only when it is asked for (when the cell is drawn). Columns 0 to 6 are the date and the
// six values; column 7 is the time of day, which the view shows beside the date for a series that has
// one and hides for the others.
#pragma once

#include "common/quote_values.h"

#include <QAbstractTableModel>

#include <span>
#include <vector>

class QuoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    static constexpr int kTimeColumn = 7;

    void Clear();
    void Reserve(int rows);
    // Adds rows after the last one.
    void Append(std::span<const QuoteRowValues> rows);
    const QuoteRowValues& RowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    int Rows() const { return static_cast<int>(rows_.size()); }

    // "Date" as MM/DD/YY; prices with four decimals, volume and open interest with none; "N/A" for a
    // value below 0 or not a number; "Time" as HH:MM:SS.
    static QString CellText(const QuoteRowValues& row, int column);
    // The first row, from row 0, dated `date`; -1 when there is none.
    int FindDateRow(DayNumber date) const;
    // The row of bar `bar` (0 the oldest) while it is still dated `date`; otherwise the first row dated
    // `date` (the file has changed since the bar was counted); -1 for a bar below 0 or no such row.
    int FindBarRow(int bar, DayNumber date) const;
    // Every row, the oldest first.
    std::vector<QuoteRowValues> OldestFirst() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<QuoteRowValues> rows_;
};
