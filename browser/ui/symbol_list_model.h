// The symbol list's rows: symbol and name texts, kept sorted ascending by symbol ignoring letter case.
#pragma once

#include <QAbstractTableModel>

#include <string>
#include <vector>

class SymbolListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        std::string symbol;
        std::string name;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void Clear();
    // Replaces the rows; they are sorted here (equal symbols keep their order).
    void SetRows(std::vector<Row> rows);
    // Changes one row's texts and moves it to its sorted place; returns that place.
    int SetRowTexts(int row, const std::string& symbol, const std::string& name);
    const Row& RowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    int Rows() const { return static_cast<int>(rows_.size()); }
    // The first row showing `symbol`; -1 when none does.
    int FindSymbolRow(const std::string& symbol) const;
    // The symbols of the first `count` rows, in list order.
    std::vector<std::string> Symbols(int count) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<Row> rows_;
};
