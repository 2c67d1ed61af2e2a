// The dialogs of the Symbol menu: Edit Symbol, Delete Symbol, Move / Copy Symbol and the facts of the
// selected series. Each gathers what its command needs; the view calls the command function once the
// dialog has closed with OK.
#pragma once

#include "editing/series_facts.h"
#include "editing/transfer.h"
#include "editing/ui/quote_dialogs.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QListWidget;

// "Edit Symbol": the symbol and the name of the selected row, 16 characters each, stored as typed.
class CEditSymbolDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CEditSymbolDlg(const std::string& symbol, const std::string& name, QWidget* parent = nullptr);
    std::string Symbol() const;
    std::string Name() const;
    // A check of the typed symbol against the portfolio (one already taken), run on OK after the
    // checks of the texts themselves.
    void SetSymbolCheck(std::function<CommandResult(const std::string& symbol)> check) {
        symbolCheck_ = std::move(check);
    }

protected:
    void accept() override; // a refused text keeps the dialog open after its message

private:
    std::function<CommandResult(const std::string&)> symbolCheck_;
    QLineEdit* symbol_ = nullptr;
    QLineEdit* name_ = nullptr;
};

// "Delete Symbol": shows the selected row's symbol; "Yes" accepts, "No" (the default) cancels.
class CDeleteSymbolDlg : public CQuoteDialog {
    Q_OBJECT
public:
    explicit CDeleteSymbolDlg(const std::string& symbolText, QWidget* parent = nullptr);
};

// "Move Symbol" / "Copy Symbol": the series on screen and the portfolios it may go to, the first
// selected. The destination is the entry selected on OK, empty when none is.
class CMoveSymbolDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CMoveSymbolDlg(editing::TransferMode mode, const std::string& symbol, const std::string& name,
                   const std::string& portfolio, const std::vector<std::string>& destinations,
                   QWidget* parent = nullptr);
    std::string Destination() const { return destination_; }
    QListWidget* Destinations() const { return list_; }

protected:
    void accept() override;

private:
    QListWidget* list_ = nullptr;
    std::string destination_;
};

// "About Selected Quote Series": the facts of one series, read-only, with OK only.
class CSeriesFactsDlg : public CQuoteDialog {
    Q_OBJECT
public:
    explicit CSeriesFactsDlg(const editing::SeriesFactsTexts& facts, QWidget* parent = nullptr);
};

// ---- The Symbol menu's commands on a security of the portfolio at `dir` -----------------------------
// Each runs its dialog (the series named in the caption) and on OK its command: the result with a
// failure explained, or nullopt when the dialog was cancelled. `symbol` and `name` are the security's
// texts as its record holds them.

// Edit Symbol on the security `symbol` / `name`; with the result, the new texts as the files store them.
struct EditedSymbol {
    CommandResult result;
    std::string symbol;
    std::string name;
};
std::optional<EditedSymbol> RunEditSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                          const std::string& name, QWidget* parent);
// Delete Symbol on the security `symbol`, after a beep.
std::optional<CommandResult> RunDeleteSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                             QWidget* parent);
// Move or Copy of the security `symbol` / `name` to one of `portfolios` (the portfolio list; entry
// `current` is the one at `dir`, left out of the choices). A copy that has nothing to say says that it
// was made.
std::optional<CommandResult> RunTransferSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                               const std::string& name, editing::TransferMode mode,
                                               const std::vector<std::string>& portfolios, int current,
                                               QWidget* parent);
// The facts of the series `symbol` in `dir`, or the failure to read them.
void RunSeriesFacts(const std::filesystem::path& dir, const std::string& symbol, QWidget* parent);
