#include "editing/ui/quote_dialogs.h"

#include "common/quote_cells.h"
#include "editing/ui/entry_controls.h"
#include "editing/value_text.h"
#include "shell/ui/prompts.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

// Number boxes take text of any length: a limit would cut a longer value short without a word, and the
// check on OK refuses what a quote file cannot hold. A date box holds MM/DD/YYYY at most.
constexpr int kDateLimit = 10;
constexpr const char* kValueNames[6] = {"openEdit",  "highEdit",   "lowEdit",
                                        "closeEdit", "volumeEdit", "openInterestEdit"};
constexpr const char* kValueLabels[6] = {"Open:", "High:", "Low:", "Close:", "Volume:", "Open Interest:"};

void SetDateText(QLineEdit* edit, const QString& text) {
    edit->setMaxLength(std::max(kDateLimit, static_cast<int>(text.size())));
    edit->setText(text);
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

} // namespace

// ---- What the dialogs share ----------------------------------------------------------------------

CQuoteDialog::CQuoteDialog(const char* objectName, const char* caption, QWidget* parent)
    : QDialog(parent), units_(font()) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setModal(true);
}

void CQuoteDialog::SetSizeInUnits(int width, int height) {
    setFixedSize(units_.Rect(0, 0, width, height).size());
    FitTexts(*this, units_.X(5));
}

QLabel* CQuoteDialog::Label(const char* text, int x, int y, int width, int height) {
    return Place(new QLabel(text), x, y, width, height);
}

void CQuoteDialog::Group(const char* title, int x, int y, int width, int height) {
    Place(new QGroupBox(title), x, y, width, height)->lower(); // behind the controls it frames
}

QPushButton* CQuoteDialog::Button(const char* objectName, const char* text, int x, int y) {
    auto* button = Place(new QPushButton(text), x, y, 50, 14);
    button->setObjectName(objectName);
    return button;
}

void CQuoteDialog::OkCancel(int x, int y) {
    QPushButton* ok = Button("okButton", "OK", x, y);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button("cancelButton", "Cancel", x, y + 17), &QPushButton::clicked, this, &QDialog::reject);
}

void CQuoteDialog::AcceptChecked(const std::function<CommandResult()>& check) {
    if (CommandResult result = check(); !result.ok) {
        Prompts::Get().Present(this, result);
        return;
    }
    QDialog::accept();
}

// ---- Edit Selected Quote -------------------------------------------------------------------------

CEditQuoteDlg::CEditQuoteDlg(int row, int rows, QuoteRowSource source,
                             std::optional<editing::PresentFields> present, QWidget* parent)
    : CQuoteDialog("editQuoteDialog", "Edit Selected Quote", parent), row_(row), rows_(rows),
      source_(std::move(source)), present_(present) {
    constexpr int kLabelX = 7, kEditX = 62, kEditWidth = 72, kRowStep = 16;
    Label("Date:", kLabelX, 9, 52);
    date_ = Label("", kEditX, 9, 36);
    date_->setObjectName("dateText");
    time_ = Label("", kEditX + 38, 9, 34);
    time_->setObjectName("timeText");
    for (int i = 0; i < 6; ++i) {
        const int y = 7 + kRowStep * (i + 1);
        Label(kValueLabels[i], kLabelX, y + 2, 52);
        values_[static_cast<std::size_t>(i)] = Place(new NumericEdit, kEditX, y, kEditWidth, 12);
        values_[static_cast<std::size_t>(i)]->setObjectName(kValueNames[i]);
    }
    OkCancel(143, 7);
    previous_ = Place(new QPushButton("Previous"), 7, 124, 44, 14);
    next_ = Place(new QPushButton("Next"), 54, 124, 44, 14);
    first_ = Place(new QPushButton("First"), 101, 124, 44, 14);
    last_ = Place(new QPushButton("Last"), 149, 124, 44, 14);
    previous_->setObjectName("previousButton");
    next_->setObjectName("nextButton");
    first_->setObjectName("firstButton");
    last_->setObjectName("lastButton");
    connect(previous_, &QPushButton::clicked, this, &CEditQuoteDlg::OnPrevious);
    connect(next_, &QPushButton::clicked, this, &CEditQuoteDlg::OnNext);
    connect(first_, &QPushButton::clicked, this, &CEditQuoteDlg::OnFirst);
    connect(last_, &QPushButton::clicked, this, &CEditQuoteDlg::OnLast);
    SetSizeInUnits(200, 145);
    Initialise();
    values_[0]->setFocus();
}

void CEditQuoteDlg::Initialise() {
    const QuoteRowTexts texts = source_(row_);
    date_->setText(texts.cells[0]);
    time_->setText(texts.time);
    for (std::size_t i = 0; i < values_.size(); ++i) {
        values_[i]->setText(texts.cells[i + 1]);
    }
    QWidget* focused = focusWidget();
    if (auto* edit = qobject_cast<QLineEdit*>(focused)) {
        edit->selectAll();
    }
    next_->setEnabled(row_ != 0);
    last_->setEnabled(row_ != 0);
    previous_->setEnabled(row_ != rows_ - 1);
    first_->setEnabled(row_ != rows_ - 1);
}

void CEditQuoteDlg::MoveTo(int row) {
    row_ = row;
    Initialise();
}

void CEditQuoteDlg::OnFirst() {
    MoveTo(rows_ - 1);
}

void CEditQuoteDlg::OnLast() {
    MoveTo(0);
}

void CEditQuoteDlg::OnPrevious() {
    MoveTo(row_ < rows_ - 1 ? row_ + 1 : row_);
}

void CEditQuoteDlg::OnNext() {
    MoveTo(row_ > 0 ? row_ - 1 : row_);
}

std::string CEditQuoteDlg::DateText() const {
    return date_->text().toStdString();
}

editing::ValueTexts CEditQuoteDlg::Values() const {
    editing::ValueTexts values;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        values[i] = Text(values_[i]);
    }
    return values;
}

void CEditQuoteDlg::accept() {
    // A series whose fields cannot be read is refused by the command with its own message.
    if (!present_) {
        QDialog::accept();
        return;
    }
    AcceptChecked([this] { return editing::check_edit_quote_input(DateText(), Values(), *present_); });
}

// ---- Split Data ----------------------------------------------------------------------------------

CSplitDlg::CSplitDlg(const editing::SeriesSession& series, const QString& dateText, QWidget* parent)
    : CQuoteDialog("splitDialog", "Split Data", parent), series_(series) {
    Group("Split Date", 7, 4, 112, 32);
    date_ = Place(new DateMaskEdit, 15, 17, 48, 12);
    date_->setObjectName("splitDateEdit");
    Group("Ratios", 7, 40, 112, 50);
    Label("New Shares", 15, 56, 52);
    newShares_ = Place(new NumericEdit, 70, 54, 40, 12);
    newShares_->setObjectName("newSharesEdit");
    Label("Old Shares", 15, 72, 52);
    oldShares_ = Place(new NumericEdit, 70, 70, 40, 12);
    oldShares_->setObjectName("oldSharesEdit");
    OkCancel(127, 7);
    SetSizeInUnits(184, 97);

    SetDateText(date_, dateText);
    newShares_->setText("1");
    oldShares_->setText("1");
    date_->setFocus();
    date_->selectAll();
}

editing::SplitInput CSplitDlg::Input() const {
    return {Text(date_), Text(newShares_), Text(oldShares_)};
}

void CSplitDlg::accept() {
    AcceptChecked([this] { return editing::check_split_input(Input(), series_); });
}

// ---- Adjust Data ---------------------------------------------------------------------------------

CAdjustDlg::CAdjustDlg(const editing::SeriesSession& series, QWidget* parent)
    : CQuoteDialog("adjustDialog", "Adjust Data", parent), series_(series) {
    Group("Dates", 7, 4, 112, 50);
    Label("From:", 15, 20, 52);
    from_ = Place(new DateMaskEdit, 66, 18, 48, 12);
    from_->setObjectName("fromEdit");
    Label("To:", 15, 36, 52);
    to_ = Place(new DateMaskEdit, 66, 34, 48, 12);
    to_->setObjectName("toEdit");
    Group("Multipliers", 7, 58, 112, 66);
    Label("Price", 15, 74, 52);
    price_ = Place(new NumericEdit, 70, 72, 40, 12);
    price_->setObjectName("priceEdit");
    Label("Volume", 15, 90, 52);
    volume_ = Place(new NumericEdit, 70, 88, 40, 12);
    volume_->setObjectName("volumeEdit");
    Label("Open Interest", 15, 106, 52);
    openInterest_ = Place(new QLineEdit, 70, 104, 40, 12);
    openInterest_->setObjectName("openInterestEdit");
    OkCancel(127, 7);
    SetSizeInUnits(184, 131);

    const QString first = QString::fromStdString(quote_date_text(series.first_date()));
    const QString last = QString::fromStdString(quote_date_text(series.last_date()));
    SetDateText(from_, first);
    SetDateText(to_, last);
    for (QLineEdit* multiplier :
         {static_cast<QLineEdit*>(price_), static_cast<QLineEdit*>(volume_), openInterest_}) {
        multiplier->setText("1");
    }
    from_->setFocus();
    from_->selectAll();
}

editing::AdjustInput CAdjustDlg::Input() const {
    return {Text(from_), Text(to_), Text(price_), Text(volume_), Text(openInterest_)};
}

void CAdjustDlg::accept() {
    AcceptChecked([this] { return editing::check_adjust_input(Input(), series_); });
}

// ---- Delete Data ---------------------------------------------------------------------------------

CDeleteQuoteDlg::CDeleteQuoteDlg(const QString& dateText, QWidget* parent)
    : CQuoteDialog("deleteQuoteDialog", "Delete Data", parent), dateText_(dateText) {
    Group("Selected Date to Delete:", 7, 4, 114, 32);
    QLabel* date = Label("", 15, 19, 98);
    date->setObjectName("dateText");
    date->setText(dateText.left(100));
    OkCancel(129, 7);
    SetSizeInUnits(186, 44);
}

void CDeleteQuoteDlg::accept() {
    Prompts::Get().Beep();
    if (Prompts::Get().AskYesNo(this, "You are about to delete the data for date\n" + dateText_ +
                                          "\nAre you sure?")) {
        QDialog::accept();
    }
}

// ---- Add Data ------------------------------------------------------------------------------------

CAddQuoteDlg::CAddQuoteDlg(const QString& newDateText, QWidget* parent)
    : CQuoteDialog("addQuoteDialog", "Add Data", parent) {
    Label("New Date:", 7, 9, 38);
    QLabel* date = Label("", 48, 9, 60);
    date->setObjectName("newDateText");
    date->setText(newDateText);
    QLabel* explanation =
        Label("The new quote will be added using the same data as the following day. You may "
              "then edit it to suit.",
              7, 24, 132, 32);
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    OkCancel(149, 7);
    SetSizeInUnits(206, 62);
}

namespace {

bool RowRead(const editing::SeriesSession& series, int row) {
    return row >= 0 && static_cast<std::size_t>(row) < series.rows().size();
}

QString CellText(const editing::SeriesSession& series, int row, int column) {
    return QString::fromStdString(quote_cell_text(series.rows()[static_cast<std::size_t>(row)], column));
}

} // namespace

std::optional<CommandResult> RunEditQuote(editing::SeriesSession& series, int row, QWidget* parent) {
    if (!RowRead(series, row)) {
        return std::nullopt;
    }
    auto source = [&series](int shown) {
        QuoteRowTexts texts;
        for (std::size_t column = 0; column < texts.cells.size(); ++column) {
            texts.cells[column] = CellText(series, shown, static_cast<int>(column));
        }
        if (series.has_time()) {
            texts.time =
                QString::fromStdString(quote_time_text(series.rows()[static_cast<std::size_t>(shown)].time));
        }
        return texts;
    };
    const std::optional<editing::PresentFields> present =
        series.located() ? std::optional(series.present_fields()) : std::nullopt;
    CEditQuoteDlg dialog(row, static_cast<int>(series.rows().size()), source, present, parent);
    if (Prompts::Get().RunSeriesDialog(dialog, series.symbol()) != QDialog::Accepted) {
        return std::nullopt;
    }
    // The dialog's row, which its navigation may have moved away from the list's selection. A Date box
    // left as the row shows it names the row's own day (a two-digit year names a day only up to its
    // century); any other date is taken as typed, and the command refuses a quote it does not date.
    editing::QuoteRef quote = series.ref_of_row(dialog.Row());
    const std::string typed = dialog.DateText();
    if (quote.bar < 0 || typed != CellText(series, dialog.Row(), 0).toStdString()) {
        quote.date = editing::date_from_text(typed);
    }
    return editing::edit_quote(series, quote, typed, dialog.Values());
}

std::optional<CommandResult> RunSplitQuotes(editing::SeriesSession& series, int row, QWidget* parent) {
    if (!RowRead(series, row)) {
        return std::nullopt;
    }
    CSplitDlg dialog(series, CellText(series, row, 0), parent);
    if (Prompts::Get().RunSeriesDialog(dialog, series.symbol()) != QDialog::Accepted) {
        return std::nullopt;
    }
    return editing::split_quotes(series, dialog.Input());
}

std::optional<CommandResult> RunAdjustQuotes(editing::SeriesSession& series, QWidget* parent) {
    CAdjustDlg dialog(series, parent);
    if (Prompts::Get().RunSeriesDialog(dialog, series.symbol()) != QDialog::Accepted) {
        return std::nullopt;
    }
    return editing::adjust_quotes(series, dialog.Input());
}

std::optional<CommandResult> RunDeleteQuote(editing::SeriesSession& series, int row, QWidget* parent) {
    if (!RowRead(series, row)) {
        return std::nullopt;
    }
    const QString date = CellText(series, row, 0);
    const QString time =
        QString::fromStdString(quote_time_text(series.rows()[static_cast<std::size_t>(row)].time));
    CDeleteQuoteDlg dialog(series.has_time() ? date + " " + time : date, parent);
    if (Prompts::Get().RunSeriesDialog(dialog, series.symbol()) != QDialog::Accepted) {
        return std::nullopt;
    }
    return editing::delete_quote(series, series.ref_of_row(row));
}

std::optional<editing::AddQuoteResult> RunAddQuote(editing::SeriesSession& series, int row, QWidget* parent) {
    const editing::QuoteRef selected = series.ref_of_row(row);
    const editing::AddQuotePlan plan = editing::plan_add_quote(editing::quote_dates(series), selected);
    if (!plan.check.ok) {
        Prompts::Get().Present(parent, plan.check);
        return std::nullopt;
    }
    CAddQuoteDlg dialog(QString::fromStdString(plan.new_date_text), parent);
    if (Prompts::Get().RunSeriesDialog(dialog, series.symbol()) != QDialog::Accepted) {
        return std::nullopt;
    }
    return editing::add_quote(series, selected);
}
