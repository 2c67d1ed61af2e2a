#include "browser/ui/quote_list_model.h"

#include "common/quote_cells.h"

namespace {

constexpr const char* kHeaders[] = {"Date",  "Open",   "High",          "Low",
                                    "Close", "Volume", "Open Interest", "Time"};
constexpr int kColumns = 8;

} // namespace

void QuoteListModel::Clear() {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

void QuoteListModel::Reserve(int rows) {
    if (rows > 0) {
        rows_.reserve(static_cast<std::size_t>(rows));
    }
}

void QuoteListModel::Append(std::span<const QuoteRowValues> rows) {
    if (rows.empty()) {
        return;
    }
    beginInsertRows({}, Rows(), Rows() + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    endInsertRows();
}

QString QuoteListModel::CellText(const QuoteRowValues& row, int column) {
    if (column == 0) {
        return QString::fromStdString(quote_date_text(row.date));
    }
    if (column == kTimeColumn) {
        return QString::fromStdString(quote_time_text(row.time));
    }
    const int precision = column >= 5 ? 0 : 4; // volume and open interest are whole numbers
    return QString::fromStdString(
        quote_value_text(row.values[static_cast<std::size_t>(column - 1)], precision));
}

int QuoteListModel::FindDateRow(DayNumber date) const {
    for (int row = 0; row < Rows(); ++row) {
        if (RowAt(row).date == date) {
            return row;
        }
    }
    return -1;
}

int QuoteListModel::FindBarRow(int bar, DayNumber date) const {
    if (bar < 0) {
        return -1;
    }
    const int row = Rows() - 1 - bar;
    return row >= 0 && RowAt(row).date == date ? row : FindDateRow(date);
}

std::vector<QuoteRowValues> QuoteListModel::OldestFirst() const {
    return {rows_.rbegin(), rows_.rend()};
}

int QuoteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int QuoteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant QuoteListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Rows()) {
        return {};
    }
    return CellText(RowAt(index.row()), index.column());
}

QVariant QuoteListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kHeaders[section]);
    }
    return {};
}
