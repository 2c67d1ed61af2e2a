// BrowserForm: the main window's form. Three groups (Portfolios, Symbols, Quotes) with the drive chooser,
// the portfolio list, the symbol list and the quote list, laid out in dialog units of the form's font;
// that layout is the form's minimum size, and a larger form gives the lists the room beyond it (half the
// width to each list of the upper row, a quarter of the height to them and three quarters to the quote
// list). The view fills the lists and answers their signals.
#pragma once

#include "browser/ui/grid_list.h"

#include <QComboBox>
#include <QWidget>

#include <filesystem>
#include <string>
#include <vector>

class CSettingsStore;
class QListWidget;
class QuoteListModel;
class SymbolListModel;

// The drive chooser: the mounted volumes by their root paths.
class VolumeChooser : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    // Lists `roots` without announcing a change.
    void SetDrives(const std::vector<std::string>& roots);
    std::vector<std::string> Drives() const;
    // Selects the entry of `root` without announcing it as the user's change.
    void Select(const std::string& root);
    // The root of the entry chosen; empty when none is.
    std::string Chosen() const;
};

class BrowserForm : public QWidget {
    Q_OBJECT
public:
    BrowserForm(SymbolListModel* symbols, QuoteListModel* quotes, QWidget* parent = nullptr);
    // Sizes the columns of both lists; the time column of the quote list, not among the saved widths, as
    // wide as its texts (and its title) need, and no wider.
    void SetColumnWidths(const std::vector<int>& symbolWidths, const std::vector<int>& quoteWidths);
    // SetColumnWidths with the widths saved in the settings (sections "SymbolGrid" and "QuoteGrid"), fitted
    // to the lists' client widths by the column rules.
    void SetSavedColumnWidths(const CSettingsStore& settings);
    // The portfolio list's directories, in list order.
    std::vector<std::string> Portfolios() const;
    // The row of the portfolio list naming the directory `dir` (compared as normalised paths); -1 when none.
    int PortfolioRow(const std::filesystem::path& dir) const;

    VolumeChooser* driveChooser = nullptr;
    QListWidget* portfolioList = nullptr;
    GridList* symbolList = nullptr;
    GridList* quoteList = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOut();

    QWidget* portfolioGroup_ = nullptr;
    QWidget* symbolGroup_ = nullptr;
    QWidget* quoteGroup_ = nullptr;
};
