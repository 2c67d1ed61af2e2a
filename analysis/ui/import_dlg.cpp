#include "analysis/ui/import_dlg.h"

#include "common/failure_text.h"
#include "common/symbol_text.h"
#include "shell/ui/prompts.h"
#include "shell/ui/wait_cursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

namespace fs = std::filesystem;

constexpr int kPreviewLines = 12;
constexpr int kResultLinesShown = 20;
constexpr const char* kValueNames[6] = {"&Open", "&High", "&Low", "&Close", "&Volume", "Open &interest"};
constexpr char kPeriodicities[] = {'D', 'W', 'M', 'I'};

fs::path PathOf(const QString& text) {
    return fs::path(QFile::encodeName(text).toStdString());
}

QString TextOf(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString Capitalised(const char* name) {
    QString text = QString::fromLatin1(name);
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

// The result lines of the securities imported, at most kResultLinesShown of them.
std::string OutcomeLines(const std::vector<ImportOutcome>& outcomes) {
    std::string lines;
    int shown = 0, written = 0;
    for (const ImportOutcome& outcome : outcomes) {
        if (!outcome.written) {
            continue;
        }
        ++written;
        if (shown < kResultLinesShown) {
            lines += "\n" + outcome.text();
            ++shown;
        }
    }
    if (written > shown) {
        lines += "\n... and " + std::to_string(written - shown) + " more.";
    }
    return lines;
}

// OK (named `okName`, with `okText` when given) and Cancel, wired to the dialog.
QDialogButtonBox* OkCancel(QDialog* dialog, const char* okName, const char* okText = nullptr) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(okName);
    if (okText != nullptr) {
        ok->setText(okText);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

// ---- New security ------------------------------------------------------------------------------------

CNewSecurityDlg::CNewSecurityDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("newSecurityDialog");
    setWindowTitle("New Symbol");
    auto* form = new QFormLayout;
    symbol_ = new QLineEdit;
    symbol_->setObjectName("symbolEdit");
    symbol_->setMaxLength(static_cast<int>(kMaxSymbolLength));
    name_ = new QLineEdit;
    name_->setObjectName("nameEdit");
    name_->setMaxLength(static_cast<int>(kMaxLongNameLength));
    periodicity_ = new QComboBox;
    periodicity_->setObjectName("periodicityCombo");
    periodicity_->addItems({"Daily", "Weekly", "Monthly", "Intra-day"});
    form->addRow("&Symbol:", symbol_);
    form->addRow("&Name:", name_);
    form->addRow("&Periodicity:", periodicity_);
    auto* fields = new QGroupBox("Values kept beside the date");
    auto* grid = new QHBoxLayout(fields);
    for (std::size_t i = 0; i < values_.size(); ++i) {
        values_[i] = new QCheckBox(kValueNames[i]);
        values_[i]->setObjectName(QString("value%1Check").arg(i));
        grid->addWidget(values_[i]);
    }
    QDialogButtonBox* buttons = OkCancel(this, "okButton");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(fields);
    layout->addWidget(buttons);
    connect(periodicity_, &QComboBox::currentIndexChanged, this, &CNewSecurityDlg::PeriodicityChanged);
    PeriodicityChanged();
    symbol_->setFocus();
}

// The usual fields of the periodicity are offered each time it changes.
void CNewSecurityDlg::PeriodicityChanged() {
    const SeriesShape usual = series_shape_default(kPeriodicities[periodicity_->currentIndex()]);
    for (std::size_t i = 0; i < values_.size(); ++i) {
        values_[i]->setChecked(usual.has[static_cast<std::size_t>(kFieldOpen) + i]);
    }
}

std::string CNewSecurityDlg::Symbol() const {
    return symbol_->text().toStdString();
}

std::string CNewSecurityDlg::Name() const {
    return name_->text().toStdString();
}

SeriesShape CNewSecurityDlg::Shape() const {
    SeriesShape shape;
    shape.periodicity = kPeriodicities[periodicity_->currentIndex()];
    shape.has[kFieldDate] = true;
    shape.has[kFieldTime] = shape.periodicity == 'I';
    for (std::size_t i = 0; i < values_.size(); ++i) {
        shape.has[static_cast<std::size_t>(kFieldOpen) + i] = values_[i]->isChecked();
    }
    return shape;
}

void CNewSecurityDlg::accept() {
    CommandResult check = Symbol().empty()
                              ? CommandResult::failure("You must enter a symbol", 0, MessageKind::Warning)
                              : check_symbol_text(Symbol());
    if (check.ok) {
        check = check_name_text(Name(), kMaxLongNameLength);
    }
    if (check.ok && Shape().field_count() < 2) {
        check = CommandResult::failure("A security keeps at least one value beside the date.", 0,
                                       MessageKind::Warning);
    }
    if (!check.ok) {
        Prompts::Get().Present(this, check);
        return;
    }
    QDialog::accept();
}

std::optional<CommandResult> RunNewSecurity(const fs::path& dir, QWidget* parent) {
    CNewSecurityDlg dialog(parent);
    if (Prompts::Get().RunDialog(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    const WaitCursor wait;
    return new_security(dir, dialog.Symbol(), dialog.Name(), dialog.Shape());
}

fs::path RunNewPortfolio(QWidget* parent) {
    const QString chosen = Prompts::Get().DirectoryName(parent, "New Portfolio", QDir::homePath());
    if (chosen.isEmpty()) {
        return {};
    }
    const fs::path dir = PathOf(chosen);
    CommandResult result = new_portfolio(dir);
    if (result.ok) {
        result.add(MessageKind::Information, "The empty portfolio\n" + dir.string() + "\nis ready.");
    }
    Prompts::Get().Present(parent, result);
    return result.ok ? dir : fs::path();
}

// ---- Import ------------------------------------------------------------------------------------------

CImportDlg::CImportDlg(const fs::path& dir, std::vector<fs::path> files, const std::string& symbolOnScreen,
                       QWidget* parent)
    : QDialog(parent), dir_(dir), files_(std::move(files)), symbol_(symbolOnScreen) {
    setObjectName("importDialog");
    setWindowTitle("Import Quotes");
    QString fileNames;
    for (const fs::path& file : files_) {
        fileNames += (fileNames.isEmpty() ? "" : ", ") + TextOf(file.filename());
    }
    auto* filesLabel = new QLabel(fileNames);
    filesLabel->setObjectName("filesLabel");
    filesLabel->setWordWrap(true);

    auto* target = new QGroupBox("Into");
    auto* targetLayout = new QVBoxLayout(target);
    intoSymbol_ =
        new QRadioButton(QString("the security on screen, &%1").arg(QString::fromStdString(symbol_)));
    intoSymbol_->setObjectName("intoSymbolRadio");
    byFile_ = new QRadioButton("the securities the files &name (a ticker column, or the file's name)");
    byFile_->setObjectName("byFileRadio");
    targetLayout->addWidget(intoSymbol_);
    targetLayout->addWidget(byFile_);
    create_ = new QCheckBox("&Make the securities that are missing");
    create_->setObjectName("createCheck");
    keep_ = new QCheckBox("&Keep the values of quotes already stored");
    keep_->setObjectName("keepCheck");
    targetLayout->addWidget(create_);
    targetLayout->addWidget(keep_);

    auto* reading = new QFormLayout;
    columns_ = new QLineEdit;
    columns_->setObjectName("columnsEdit");
    columns_->setPlaceholderText("as the file's header names them, e.g. date,open,high,low,close,vol");
    dayFirst_ = new QCheckBox("&Day before month (DD/MM/YYYY)");
    dayFirst_->setObjectName("dayFirstCheck");
    reading->addRow("&Columns:", columns_);
    reading->addRow("", dayFirst_);

    preview_ = new QTableWidget;
    preview_->setObjectName("previewTable");
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    preview_->setMinimumSize(760, 240);
    counts_ = new QLabel;
    counts_->setObjectName("countsLabel");
    counts_->setWordWrap(true);
    counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QDialogButtonBox* buttons = OkCancel(this, "importButton", "&Import");
    ok_ = buttons->button(QDialogButtonBox::Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filesLabel);
    layout->addWidget(target);
    layout->addLayout(reading);
    layout->addWidget(new QLabel("The first lines, as they will be read:"));
    layout->addWidget(preview_, 1);
    layout->addWidget(counts_);
    layout->addWidget(buttons);

    // One file and a security on screen: into it, unless the file names its securities itself.
    intoSymbol_->setEnabled(!symbol_.empty() && files_.size() == 1);
    TextPreview first;
    TextRefusal refusal;
    const bool named =
        !files_.empty() && quote_text_preview(files_[0], {}, 1, first, refusal) &&
        std::find(first.columns.begin(), first.columns.end(), TextColumn::Ticker) != first.columns.end();
    (intoSymbol_->isEnabled() && !named ? intoSymbol_ : byFile_)->setChecked(true);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(intoSymbol_), static_cast<QAbstractButton*>(byFile_),
          static_cast<QAbstractButton*>(create_), static_cast<QAbstractButton*>(keep_),
          static_cast<QAbstractButton*>(dayFirst_)}) {
        connect(button, &QAbstractButton::toggled, this, &CImportDlg::Refresh);
    }
    connect(columns_, &QLineEdit::editingFinished, this, &CImportDlg::Refresh);
    Refresh();
}

bool CImportDlg::IntoSymbolOnScreen() const {
    return intoSymbol_->isChecked();
}

ImportOptions CImportDlg::Options() const {
    ImportOptions options;
    std::string error;
    if (!columns_->text().trimmed().isEmpty()) {
        text_columns_parse(columns_->text().toStdString(), options.text.columns, error);
    }
    options.text.day_first = dayFirst_->isChecked();
    options.keep_existing = keep_->isChecked();
    options.create = create_->isChecked() && byFile_->isChecked();
    return options;
}

QString CImportDlg::CountsText() const {
    return counts_->text();
}

void CImportDlg::ShowPreview() {
    ImportOptions options = Options();
    TextPreview preview;
    TextRefusal refusal;
    preview_->clear();
    if (files_.empty() || !quote_text_preview(files_[0], options.text, kPreviewLines, preview, refusal)) {
        preview_->setRowCount(0);
        preview_->setColumnCount(0);
        return;
    }
    int columns = static_cast<int>(preview.columns.size());
    for (const auto& row : preview.rows) {
        columns = std::max(columns, static_cast<int>(row.size()));
    }
    preview_->setColumnCount(columns);
    preview_->setRowCount(static_cast<int>(preview.rows.size()));
    QStringList headers;
    for (int c = 0; c < columns; ++c) {
        QString label = c < static_cast<int>(preview.columns.size())
                            ? Capitalised(text_column_name(preview.columns[static_cast<std::size_t>(c)]))
                            : QString("?");
        // The file's own name below, where it says more than the column's.
        if (c < static_cast<int>(preview.header.size())) {
            const QString own = QString::fromStdString(preview.header[static_cast<std::size_t>(c)]);
            if (own.compare(label, Qt::CaseInsensitive) != 0) {
                label += "\n" + own;
            }
        }
        headers << label;
    }
    preview_->setHorizontalHeaderLabels(headers);
    QStringList lines;
    for (std::size_t r = 0; r < preview.rows.size(); ++r) {
        lines << QString::number(preview.row_lines[r]);
        for (std::size_t c = 0; c < preview.rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(preview.rows[r][c]));
            const bool skipped = c >= preview.columns.size() || preview.columns[c] == TextColumn::Skip;
            if (skipped) {
                item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            }
            preview_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    preview_->setVerticalHeaderLabels(lines);
}

void CImportDlg::Refresh() {
    create_->setEnabled(byFile_->isChecked());
    ShowPreview();
    ImportOptions options = Options();
    std::string error;
    if (!columns_->text().trimmed().isEmpty() &&
        !text_columns_parse(columns_->text().toStdString(), options.text.columns, error)) {
        counts_->setText(QString::fromStdString("Columns: " + error));
        ok_->setEnabled(false);
        return;
    }
    options.dry_run = true;
    std::vector<ImportOutcome> outcomes;
    CommandResult result;
    {
        const WaitCursor wait;
        result = IntoSymbolOnScreen() ? import_quotes(dir_, symbol_, files_.front(), options, outcomes)
                                      : import_all(dir_, files_, options, outcomes);
    }
    MergeCounts total;
    int created = 0;
    for (const ImportOutcome& outcome : outcomes) {
        total.added += outcome.counts.added;
        total.replaced += outcome.counts.replaced;
        total.unchanged += outcome.counts.unchanged;
        created += outcome.created ? 1 : 0;
    }
    QString text;
    for (const Message& message : result.messages) {
        text += QString::fromStdString(message.text) + "\n";
    }
    if (result.ok) {
        const int quotes = total.added + total.replaced + total.unchanged;
        text += QString("%1 %2 for %3 %4%5: %6 to add, %7 to replace, %8 already there.")
                    .arg(quotes)
                    .arg(quotes == 1 ? "quote" : "quotes")
                    .arg(outcomes.size())
                    .arg(outcomes.size() == 1 ? "security" : "securities")
                    .arg(created > 0 ? QString(" (%1 to be made)").arg(created) : QString())
                    .arg(total.added)
                    .arg(total.replaced)
                    .arg(total.unchanged);
    }
    counts_->setText(text.trimmed());
    ok_->setEnabled(result.ok && total.added + total.replaced > 0);
}

std::optional<CommandResult> RunImportCommand(const fs::path& dir, const std::string& symbolOnScreen,
                                              QWidget* parent) {
    const QStringList chosen = Prompts::Get().OpenFileNames(
        parent, "Import", QDir::homePath(), "Quote texts (*.txt *.csv *.prn *.asc);;All Files (*)");
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    std::vector<fs::path> files;
    for (const QString& file : chosen) {
        files.push_back(PathOf(file));
    }
    CImportDlg dialog(dir, files, symbolOnScreen, parent);
    if (Prompts::Get().RunDialog(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    const ImportOptions options = dialog.Options();
    std::vector<ImportOutcome> outcomes;
    CommandResult result;
    if (dialog.IntoSymbolOnScreen()) {
        const WaitCursor wait;
        result = import_quotes(dir, symbolOnScreen, files.front(), options, outcomes);
    } else {
        QProgressDialog progress("Importing quotes...", "Cancel", 0, 1, parent);
        progress.setObjectName("importProgress");
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        result = import_all(dir, files, options, outcomes, [&progress](std::size_t done, std::size_t total) {
            progress.setMaximum(static_cast<int>(total));
            progress.setValue(static_cast<int>(done));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
        progress.setValue(progress.maximum());
    }
    // The notes and the lines of the securities imported in one box; failures in their own.
    std::string notes;
    std::vector<Message> others;
    for (const Message& message : result.messages) {
        if (message.kind == MessageKind::Information) {
            notes += message.text + "\n";
        } else {
            others.push_back(message);
        }
    }
    result.messages = others;
    const std::string lines = OutcomeLines(outcomes);
    if (!lines.empty() || !notes.empty()) {
        result.messages.insert(
            result.messages.begin(),
            Message{result.ok ? MessageKind::Information : MessageKind::Warning,
                    notes + (lines.empty() ? "" : "Imported into " + dir.string() + ":" + lines)});
    }
    if (!result.ok) {
        explain_failure(result, dir.string());
    }
    return result;
}
