#include "editing/ui/symbol_dialogs.h"

#include "common/failure_text.h"
#include "common/latin1.h"
#include "editing/symbol_commands.h"
#include "shell/ui/prompts.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <iterator>

namespace {

constexpr int kSymbolBoxLimit = 16;
constexpr int kDeleteTextLimit = 100;
constexpr int kPathLimit = 300;

// The files' single bytes as the dialog shows them.
QString Shown(const std::string& bytes) {
    return QString::fromLatin1(bytes);
}

QLineEdit* LimitedEdit(const char* objectName, const std::string& text) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setMaxLength(kSymbolBoxLimit);
    edit->setText(Shown(text));
    return edit;
}

std::string WithoutTrailingBlanks(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

} // namespace

// ---- Edit Symbol ---------------------------------------------------------------------------------

CEditSymbolDlg::CEditSymbolDlg(const std::string& symbol, const std::string& name, QWidget* parent)
    : CQuoteDialog("editSymbolDialog", "Edit Symbol", parent) {
    Group("Symbol", 7, 4, 114, 28);
    symbol_ = Place(LimitedEdit("symbolEdit", symbol), 15, 15, 98, 12);
    Group("Name", 7, 36, 114, 28);
    name_ = Place(LimitedEdit("nameEdit", WithoutTrailingBlanks(name)), 15, 47, 98, 12);
    OkCancel(129, 7);
    SetSizeInUnits(186, 70);
    symbol_->setFocus();
    symbol_->selectAll();
}

std::string CEditSymbolDlg::Symbol() const {
    return symbol_->text().toStdString();
}

std::string CEditSymbolDlg::Name() const {
    return name_->text().toStdString();
}

void CEditSymbolDlg::accept() {
    CommandResult check = editing::check_edit_symbol_input(Symbol());
    if (check.ok) {
        check = check_name_text(Name());
    }
    if (check.ok && symbolCheck_) {
        check = symbolCheck_(Symbol());
    }
    if (!check.ok) {
        Prompts::Get().Present(this, check);
        return;
    }
    QDialog::accept();
}

// ---- Delete Symbol -------------------------------------------------------------------------------

CDeleteSymbolDlg::CDeleteSymbolDlg(const std::string& symbolText, QWidget* parent)
    : CQuoteDialog("deleteSymbolDialog", "Delete Symbol", parent) {
    Group("Selected Symbol to Delete:", 7, 4, 114, 32);
    QLabel* symbol = Label("", 15, 19, 98);
    symbol->setObjectName("symbolText");
    symbol->setText(Shown(symbolText).left(kDeleteTextLimit));
    QLabel* question = Label("Are you sure you want to delete the Symbol shown above? ", 7, 42, 114, 20);
    question->setWordWrap(true);
    QPushButton* yes = Button("yesButton", "&Yes", 129, 7);
    QPushButton* no = Button("noButton", "&No", 129, 24);
    no->setDefault(true);
    no->setFocus();
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    SetSizeInUnits(186, 68);
}

// ---- Move / Copy Symbol --------------------------------------------------------------------------

CMoveSymbolDlg::CMoveSymbolDlg(editing::TransferMode mode, const std::string& symbol, const std::string& name,
                               const std::string& portfolio, const std::vector<std::string>& destinations,
                               QWidget* parent)
    : CQuoteDialog("moveSymbolDialog", mode == editing::TransferMode::Copy ? "Copy Symbol" : "Move Symbol",
                   parent) {
    const std::pair<const char*, QString> facts[] = {
        {"You have chosen Symbol:", Shown(symbol)},
        {"with Name:", Shown(name)},
        {"presently in Portfolio:", QString::fromStdString(portfolio)}};
    const char* names[] = {"symbolText", "nameText", "portfolioText"};
    for (int i = 0; i < 3; ++i) {
        const int y = 7 + 12 * i;
        Label(facts[i].first, 7, y, 95);
        QLabel* value = Label("", 105, y, 130);
        value->setObjectName(names[i]);
        value->setText(facts[i].second);
        value->setToolTip(facts[i].second); // a long path shows whole here
    }
    Label("Select destination portfolio and click OK", 7, 45, 180);
    list_ = Place(new QListWidget, 7, 56, 286, 70);
    list_->setObjectName("destinationList");
    // In the order given: destination_choices sorts them ignoring case, as the portfolio list is.
    // No eliding: the list scrolls sideways as far as its longest path reaches.
    list_->setTextElideMode(Qt::ElideNone);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (const std::string& destination : destinations) {
        list_->addItem(QString::fromStdString(destination));
    }
    if (list_->count() > 0) {
        list_->setCurrentRow(0);
    }
    OkCancel(243, 7);
    SetSizeInUnits(300, 132);
}

void CMoveSymbolDlg::accept() {
    const QListWidgetItem* chosen = list_->currentItem();
    destination_ = chosen != nullptr && chosen->isSelected() ? chosen->text().toStdString() : std::string();
    QDialog::accept();
}

// ---- About Selected Quote Series -----------------------------------------------------------------

CSeriesFactsDlg::CSeriesFactsDlg(const editing::SeriesFactsTexts& facts, QWidget* parent)
    : CQuoteDialog("seriesFactsDialog", "About Selected Quote Series", parent) {
    auto value = [this](int id, const std::string& text, int x, int y, int width) {
        QLabel* label = Label("", x, y, width);
        label->setObjectName(QString("value%1").arg(id));
        label->setText(Shown(text));
    };
    Label("Path:", 7, 7, 20);
    value(1053, facts.path.substr(0, kPathLimit), 30, 7, 300);

    Group("Data from Master and DAT files", 7, 20, 170, 128);
    const int dataIds[] = {1060, 1062, 1061, 1064, 1071, 1066, 1065, 1067, 1068};
    for (std::size_t i = 0; i < facts.data.size() && i < std::size(dataIds); ++i) {
        const int y = 32 + 12 * static_cast<int>(i);
        Label(facts.data[i].first.c_str(), 13, y, 95);
        value(dataIds[i], facts.data[i].second, 110, y, 64);
    }

    Group("Data from DOP file (may be synthetic)", 183, 20, 150, 128);
    Label("Field", 189, 32, 30);
    Label("Input", 222, 32, 52);
    Label("Display", 276, 32, 52);
    const int inputIds[] = {1072, 1074, 1073, 1075, 1079, 1077, 1076, 1078};
    const int displayIds[] = {1081, 1083, 1082, 1084, 1088, 1086, 1085, 1087};
    for (std::size_t i = 0; i < facts.formats.size() && i < std::size(inputIds); ++i) {
        const int y = 46 + 12 * static_cast<int>(i);
        Label(facts.formats[i].field.c_str(), 189, y, 30);
        value(inputIds[i], facts.formats[i].input, 222, y, 52);
        value(displayIds[i], facts.formats[i].display, 276, y, 52);
    }

    QPushButton* ok = Button("okButton", "OK", 283, 154);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    SetSizeInUnits(340, 174);
}

namespace {

// The typed text (UTF-8) as the files' single bytes, as the list shows them; the command has already
// refused a text that has none.
std::string StoredBytes(const std::string& typed) {
    return latin1_from_utf8(typed).value_or(std::string());
}

std::string SecurityText(const std::string& symbol, const std::filesystem::path& dir) {
    return "Security " + symbol + " in " + dir.string();
}

} // namespace

std::optional<EditedSymbol> RunEditSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                          const std::string& name, QWidget* parent) {
    CEditSymbolDlg dialog(symbol, name, parent);
    dialog.SetSymbolCheck(
        [&](const std::string& typed) { return editing::check_symbol_free(dir, symbol, typed); });
    if (Prompts::Get().RunSeriesDialog(dialog, symbol) != QDialog::Accepted) {
        return std::nullopt;
    }
    EditedSymbol edited{editing::edit_symbol(dir, symbol, dialog.Symbol(), dialog.Name()),
                        StoredBytes(dialog.Symbol()), StoredBytes(dialog.Name())};
    explain_failure(edited.result, SecurityText(symbol, dir));
    return edited;
}

std::optional<CommandResult> RunDeleteSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                             QWidget* parent) {
    Prompts::Get().Beep();
    CDeleteSymbolDlg dialog(symbol, parent);
    if (Prompts::Get().RunSeriesDialog(dialog, symbol) != QDialog::Accepted) {
        return std::nullopt;
    }
    CommandResult result = editing::delete_symbol(dir, symbol);
    explain_failure(result, SecurityText(symbol, dir));
    return result;
}

std::optional<CommandResult> RunTransferSymbol(const std::filesystem::path& dir, const std::string& symbol,
                                               const std::string& name, editing::TransferMode mode,
                                               const std::vector<std::string>& portfolios, int current,
                                               QWidget* parent) {
    CMoveSymbolDlg dialog(mode, symbol, name, dir.string(), editing::destination_choices(portfolios, current),
                          parent);
    if (Prompts::Get().RunSeriesDialog(dialog, symbol) != QDialog::Accepted || dialog.Destination().empty()) {
        return std::nullopt;
    }
    CommandResult result = editing::transfer_symbol(dir, symbol, mode, dialog.Destination());
    explain_failure(result, SecurityText(symbol, dir));
    // A copy changes nothing on screen: it says that it was made.
    if (result.ok && mode == editing::TransferMode::Copy && result.messages.empty()) {
        result.add(MessageKind::Information,
                   "Symbol " + symbol + " was copied to\n" + dialog.Destination() + ".");
    }
    return result;
}

void RunSeriesFacts(const std::filesystem::path& dir, const std::string& symbol, QWidget* parent) {
    const editing::SeriesFactsTexts facts = editing::describe_series(dir, symbol);
    if (!facts.result.ok) {
        Prompts::Get().Present(parent, facts.result);
        return;
    }
    CSeriesFactsDlg dialog(facts, parent);
    Prompts::Get().RunDialog(dialog);
}
