// The dialogs of the five quote commands: Edit quote, Split, Adjust, Delete quote and Add quote. Each
// gathers its texts, checks them on OK (staying open after a message) and hands them to its command
// function, which the view calls once the dialog has closed with OK.
#pragma once

#include "editing/quote_commands.h"
#include "editing/series_session.h"
#include "shell/ui/dialog_units.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>

class DateMaskEdit;
class NumericEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// The texts of one quote-list row, as the list shows them.
struct QuoteRowTexts {
    std::array<QString, 7> cells; // date, open, high, low, close, volume, open interest
    QString time;                 // the time of day of an intra-day quote; empty otherwise
};
using QuoteRowSource = std::function<QuoteRowTexts(int row)>;

// What the five dialogs share: positions in dialog units of their font, and OK / Cancel.
class CQuoteDialog : public QDialog {
    Q_OBJECT
protected:
    CQuoteDialog(const char* objectName, const char* caption, QWidget* parent);
    void SetSizeInUnits(int width, int height);
    template <typename W> W* Place(W* widget, int x, int y, int width, int height) {
        widget->setParent(this);
        widget->setGeometry(units_.Rect(x, y, width, height));
        return widget;
    }
    QLabel* Label(const char* text, int x, int y, int width, int height = 8);
    void Group(const char* title, int x, int y, int width, int height);
    QPushButton* Button(const char* objectName, const char* text, int x, int y);
    // OK (the default button) and Cancel, one above the other from (x, y).
    void OkCancel(int x, int y);
    // Closes with OK when the command's check of the texts passes (the check quorbit-cli makes too);
    // otherwise shows its message ("Invalid Data Entered" and the box) and stays open.
    void AcceptChecked(const std::function<CommandResult()>& check);

    DialogUnits units_;
};

// "Edit Selected Quote": the six values of one quote, with Previous / Next / First / Last stepping
// through the series (row 0 the newest quote, rows - 1 the oldest). The row it shows is its own: the
// list's selection stays where it was.
class CEditQuoteDlg : public CQuoteDialog {
    Q_OBJECT
public:
    // `present`: the value fields the series has (their texts are checked on OK); empty when the series
    // cannot be read, in which case the command reports the failure.
    CEditQuoteDlg(int row, int rows, QuoteRowSource source, std::optional<editing::PresentFields> present,
                  QWidget* parent = nullptr);
    int Row() const { return row_; }
    std::string DateText() const;
    editing::ValueTexts Values() const;

    void OnFirst();
    void OnLast();
    void OnPrevious();
    void OnNext();

protected:
    void accept() override;

private:
    // Fills the texts of the current row (discarding what was typed) and enables the buttons.
    void Initialise();
    void MoveTo(int row);

    int row_;
    int rows_;
    QuoteRowSource source_;
    std::optional<editing::PresentFields> present_;
    QLabel* date_ = nullptr;
    QLabel* time_ = nullptr;
    std::array<NumericEdit*, 6> values_{};
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* first_ = nullptr;
    QPushButton* last_ = nullptr;
};

// "Split Data": the split date and the New / Old share ratio.
class CSplitDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CSplitDlg(const editing::SeriesSession& series, const QString& dateText, QWidget* parent = nullptr);
    editing::SplitInput Input() const;

protected:
    void accept() override;

private:
    const editing::SeriesSession& series_;
    DateMaskEdit* date_ = nullptr;
    NumericEdit* newShares_ = nullptr;
    NumericEdit* oldShares_ = nullptr;
};

// "Adjust Data": a date range and the price, volume and open-interest multipliers.
class CAdjustDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CAdjustDlg(const editing::SeriesSession& series, QWidget* parent = nullptr);
    editing::AdjustInput Input() const;

protected:
    void accept() override;

private:
    const editing::SeriesSession& series_;
    DateMaskEdit* from_ = nullptr;
    DateMaskEdit* to_ = nullptr;
    NumericEdit* price_ = nullptr;
    NumericEdit* volume_ = nullptr;
    QLineEdit* openInterest_ = nullptr; // not filtered
};

// "Delete Data": shows the date (with the time of an intra-day quote, which tells the quotes of one day
// apart); OK asks once more and closes only on Yes.
class CDeleteQuoteDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CDeleteQuoteDlg(const QString& dateText, QWidget* parent = nullptr);

protected:
    void accept() override;

private:
    QString dateText_;
};

// "Add Data": shows the proposed date, which the user cannot change.
class CAddQuoteDlg : public CQuoteDialog {
    Q_OBJECT
public:
    CAddQuoteDlg(const QString& newDateText, QWidget* parent = nullptr);
};

// ---- The quote commands over the series on screen ---------------------------------------------------
// Each runs its dialog over `series` (named in the caption), on the quote of row `row` (0 the newest)
// where it takes one, and on OK calls its command: the command's result, or nullopt when the dialog was
// cancelled or the row was not read.

// Edit quote on row `row`. The dialog's navigation may move to another row: the command takes that one.
std::optional<CommandResult> RunEditQuote(editing::SeriesSession& series, int row, QWidget* parent);
std::optional<CommandResult> RunSplitQuotes(editing::SeriesSession& series, int row, QWidget* parent);
std::optional<CommandResult> RunAdjustQuotes(editing::SeriesSession& series, QWidget* parent);
std::optional<CommandResult> RunDeleteQuote(editing::SeriesSession& series, int row, QWidget* parent);
// Add quote below row `row`: a refused plan ("Date %s already exists." and the like) is shown here and
// gives nullopt; after OK the blank quote inserted, which the caller then opens in Edit quote.
std::optional<editing::AddQuoteResult> RunAddQuote(editing::SeriesSession& series, int row, QWidget* parent);
