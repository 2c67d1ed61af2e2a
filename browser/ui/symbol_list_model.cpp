#include "browser/ui/symbol_list_model.h"

#include "common/symbol_list.h"

#include <algorithm>

namespace {

bool RowLess(const SymbolListModel::Row& a, const SymbolListModel::Row& b) {
    return symbol_text_less(a.symbol, b.symbol);
}

} // namespace

void SymbolListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void SymbolListModel::SetRows(std::vector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    // Rows from the symbol list come sorted already: one pass tells, and the sort is left for rows that
    // are not (a damaged record shows its name with its padding, which may sort apart from its key).
    if (!std::is_sorted(rows_.begin(), rows_.end(), RowLess))
        std::stable_sort(rows_.begin(), rows_.end(), RowLess);
    endResetModel();
}

int SymbolListModel::SetRowTexts(int row, const std::string& symbol, const std::string& name) {
    Row changed{symbol, name};
    beginResetModel();
    rows_.erase(rows_.begin() + row);
    auto place = std::upper_bound(rows_.begin(), rows_.end(), changed, RowLess);
    const auto at = static_cast<int>(place - rows_.begin());
    rows_.insert(place, std::move(changed));
    endResetModel();
    return at;
}

int SymbolListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int SymbolListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant SymbolListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Rows()) {
        return {};
    }
    const Row& row = RowAt(index.row());
    // The texts are bytes as the MASTER file holds them; Latin-1 shows every byte as one character.
    return QString::fromLatin1(index.column() == 0 ? row.symbol : row.name);
}

QVariant SymbolListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role == Qt::DisplayRole) {
        return section == 0 ? QStringLiteral("Symbol") : QStringLiteral("Name");
    }
    return {};
}

int SymbolListModel::FindSymbolRow(const std::string& symbol) const {
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.symbol == symbol; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

std::vector<std::string> SymbolListModel::Symbols(int count) const {
    std::vector<std::string> symbols;
    for (int row = 0; row < std::min(count, Rows()); ++row) {
        symbols.push_back(RowAt(row).symbol);
    }
    return symbols;
}
