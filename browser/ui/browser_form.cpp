#include "browser/ui/browser_form.h"

#include "browser/ui/grid_delegate.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/symbol_list_model.h"
#include "browser/view_rules.h"
#include "shell/ui/dialog_units.h"
#include "shell/view_settings.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QListWidget>

#include <algorithm>

namespace {

constexpr int kSymbolListId = 1037;
constexpr int kQuoteListId = 1038;

} // namespace

void VolumeChooser::SetDrives(const std::vector<std::string>& roots) {
    const QSignalBlocker quiet(this);
    clear();
    for (const std::string& root : roots) {
        addItem(QString::fromStdString(root), QString::fromStdString(root));
    }
}

std::vector<std::string> VolumeChooser::Drives() const {
    std::vector<std::string> drives;
    for (int i = 0; i < count(); ++i) {
        drives.push_back(itemData(i).toString().toStdString());
    }
    return drives;
}

void VolumeChooser::Select(const std::string& root) {
    const QSignalBlocker quiet(this);
    setCurrentIndex(findData(QString::fromStdString(root)));
}

std::string VolumeChooser::Chosen() const {
    return currentIndex() < 0 ? std::string() : itemData(currentIndex()).toString().toStdString();
}

BrowserForm::BrowserForm(SymbolListModel* symbols, QuoteListModel* quotes, QWidget* parent)
    : QWidget(parent) {
    setObjectName("form");
    const DialogUnits units(font());
    // The layout in dialog units is the form's minimum; beyond it the three lists take the room.
    setMinimumSize(units.Rect(0, 0, 405, 381).size());

    auto group = [&](const char* title) { return new QGroupBox(QString::fromLatin1(title), this); };
    portfolioGroup_ = group("Portfolios");
    symbolGroup_ = group("Symbols");
    quoteGroup_ = group("Quotes");

    driveChooser = new VolumeChooser(this);
    driveChooser->setObjectName("driveChooser");
    driveChooser->setEditable(false);
    const QRect chooser = units.Rect(10, 20, 96, 79);
    driveChooser->setGeometry(chooser.x(), chooser.y(), chooser.width(), driveChooser->sizeHint().height());
    portfolioList = new QListWidget(this);
    portfolioList->setObjectName("portfolioList");
    symbolList = new GridList(kSymbolListId, symbols, kSymbolColumns, this);
    symbolList->setObjectName("symbolList");
    quoteList = new GridList(kQuoteListId, quotes, kQuoteColumns, this);
    // The time of day stands right after the date, shown only for a series that has one.
    quoteList->horizontalHeader()->moveSection(QuoteListModel::kTimeColumn, 1);
    quoteList->setColumnHidden(QuoteListModel::kTimeColumn, true);
    quoteList->setObjectName("quoteList");
    LayOut();
}

void BrowserForm::SetColumnWidths(const std::vector<int>& symbolWidths, const std::vector<int>& quoteWidths) {
    symbolList->SetColumnWidths(symbolWidths);
    quoteList->SetColumnWidths(quoteWidths);
    // The seven saved columns leave little room beside the time column.
    const QFontMetrics metrics = quoteList->fontMetrics();
    const int timeWidth = std::max(metrics.horizontalAdvance(QStringLiteral("00:00:00")),
                                   metrics.horizontalAdvance(QStringLiteral("Time")));
    quoteList->horizontalHeader()->resizeSection(QuoteListModel::kTimeColumn,
                                                 timeWidth + metrics.horizontalAdvance(QLatin1Char('0')) +
                                                     2 * GridDelegate::kPadding);
}

void BrowserForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void BrowserForm::LayOut() {
    const DialogUnits units(font());
    const QSize minimum = minimumSize();
    // The room beyond the minimum: half the width to each list of the upper row; a quarter of the height
    // to the upper row and three quarters to the quote list.
    const int wide = std::max(0, width() - minimum.width());
    const int high = std::max(0, height() - minimum.height());
    const int left = wide / 2, right = wide - left, upper = high / 4, lower = high - upper;
    auto grown = [&](QRect rect, int dx, int dw, int dy, int dh) {
        return rect.adjusted(dx, dy, dx + dw, dy + dh);
    };
    portfolioGroup_->setGeometry(grown(units.Rect(5, 5, 200, 110), 0, left, 0, upper));
    symbolGroup_->setGeometry(grown(units.Rect(220, 5, 180, 110), left, right, 0, upper));
    quoteGroup_->setGeometry(grown(units.Rect(5, 120, 395, 255), 0, wide, upper, lower));
    portfolioList->setGeometry(grown(units.Rect(5, 40, 200, 74), 0, left, 0, upper));
    symbolList->setGeometry(grown(units.Rect(220, 15, 180, 100), left, right, 0, upper));
    quoteList->setGeometry(grown(units.Rect(5, 135, 395, 240), 0, wide, upper, lower));
}

namespace {

// The widths saved under `section`, as `widthsFor` fits them to the list's client width.
template <typename Widths, typename Rule>
std::vector<int> SavedWidths(const CSettingsStore& settings, const char* section, int clientWidth,
                             int defaultWidth, Rule widthsFor) {
    Widths saved{};
    const std::vector<int> read = ReadColumnWidths(settings, section, saved.size(), defaultWidth);
    std::copy(read.begin(), read.end(), saved.begin());
    const Widths widths = widthsFor(clientWidth, saved);
    return {widths.begin(), widths.end()};
}

} // namespace

void BrowserForm::SetSavedColumnWidths(const CSettingsStore& settings) {
    const int symbolWidth = symbolList->ClientWidth(), quoteWidth = quoteList->ClientWidth();
    SetColumnWidths(
        SavedWidths<SymbolColumnWidths>(settings, "SymbolGrid", symbolWidth,
                                        DefaultSymbolColumnWidth(symbolWidth), SymbolColumnWidthsFor),
        SavedWidths<QuoteColumnWidths>(settings, "QuoteGrid", quoteWidth, DefaultQuoteColumnWidth(quoteWidth),
                                       QuoteColumnWidthsFor));
}

std::vector<std::string> BrowserForm::Portfolios() const {
    std::vector<std::string> directories;
    for (int i = 0; i < portfolioList->count(); ++i) {
        directories.push_back(portfolioList->item(i)->text().toStdString());
    }
    return directories;
}

int BrowserForm::PortfolioRow(const std::filesystem::path& dir) const {
    for (int i = 0; i < portfolioList->count(); ++i) {
        if (std::filesystem::path(portfolioList->item(i)->text().toStdString()).lexically_normal() ==
            dir.lexically_normal()) {
            return i;
        }
    }
    return -1;
}
