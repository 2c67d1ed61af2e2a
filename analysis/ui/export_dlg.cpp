#include "analysis/ui/export_dlg.h"

#include "analysis/export.h"
#include "common/failure_text.h"
#include "shell/edit_log.h"
#include "shell/settings_store.h"
#include "shell/ui/prompts.h"
#include "shell/ui/wait_cursor.h"
#include "storage/fileops.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>
#include <vector>

namespace {

// Top to bottom: Open, High, Low, Close, Volume, Open Interest.
constexpr const char* kOmitTexts[6] = {"Open", "High", "Low", "Close", "Volume", "Open Interest"};
constexpr const char* kOmitNames[6] = {"omitOpen", "omitHigh", "omitLow", "omitClose", "omitVol", "omitOI"};

void Check(QButtonGroup* group, int index) {
    // An exclusive group cannot show "none checked" until it lets go of its checked button.
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) {
        button->setChecked(group->id(button) == index);
    }
    group->setExclusive(true);
}

} // namespace

CExportDlg::CExportDlg(QWidget* parent) : QDialog(parent), units_(font()) {
    setObjectName("exportDialog");
    setWindowTitle("Export");
    setModal(true);
    auto place = [this](auto* widget, int x, int y, int width, int height) {
        widget->setParent(this);
        widget->setGeometry(units_.Rect(x, y, width, height));
        return widget;
    };
    auto group = [&](const char* title, int x, int y, int width, int height) {
        place(new QGroupBox(title), x, y, width, height)->lower();
    };
    auto button = [&](const char* name, const char* text, int x, int y, int width, int height) {
        QPushButton* pushButton = place(new QPushButton(text), x, y, width, height);
        pushButton->setObjectName(name);
        return pushButton;
    };
    auto radios = [&](QButtonGroup*& buttons, const std::vector<std::pair<const char*, const char*>>& texts,
                      int y) {
        buttons = new QButtonGroup(this);
        for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
            QRadioButton* radio = place(new QRadioButton(texts[i].second), 110, y + 15 * i, 80, 10);
            radio->setObjectName(texts[i].first);
            buttons->addButton(radio, i);
        }
    };

    path_ = place(new QLineEdit, 5, 10, 190, 15);
    path_->setObjectName("pathEdit");
    path_->setMaxLength(kPathLimit);
    connect(button("browseButton", "Browse...", 205, 10, 50, 15), &QPushButton::clicked, this,
            &CExportDlg::OnBrowse);
    group("Omit these columns", 5, 30, 80, 100);
    for (int i = 0; i < 6; ++i) {
        omit_[static_cast<std::size_t>(i)] = place(new QCheckBox(kOmitTexts[i]), 15, 40 + 15 * i, 66, 10);
        omit_[static_cast<std::size_t>(i)]->setObjectName(kOmitNames[i]);
    }
    group("Column Delimiters", 100, 30, 95, 55);
    radios(delimiter_, {{"spaceRadio", "Space"}, {"commaRadio", "Comma"}, {"tabRadio", "Tab"}}, 40);
    group("Order", 100, 95, 95, 45);
    radios(order_, {{"oldestRadio", "Oldest quote first"}, {"newestRadio", "Newest quote first"}}, 110);
    group("Title", 5, 140, 80, 25);
    title_ = place(new QCheckBox("Add title row"), 15, 151, 66, 10);
    title_->setObjectName("titleCheck");
    QPushButton* ok = button("okButton", "OK", 145, 150, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(button("cancelButton", "Cancel", 205, 150, 50, 14), &QPushButton::clicked, this,
            &QDialog::reject);
    setFixedSize(units_.Rect(0, 0, 267, 170).size());
    FitTexts(*this, units_.X(5));
}

void CExportDlg::UpdateData(bool fromControls) {
    if (fromControls) {
        path = path_->text();
        delimiter = delimiter_->checkedId();
        order = order_->checkedId();
        for (std::size_t i = 0; i < omit_.size(); ++i) {
            omit[i] = omit_[i]->isChecked() ? 1 : 0;
        }
        title = title_->isChecked() ? 1 : 0;
        return;
    }
    path_->setText(path.left(kPathLimit));
    Check(delimiter_, delimiter);
    Check(order_, order);
    for (std::size_t i = 0; i < omit_.size(); ++i) {
        omit_[i]->setChecked(omit[i] != 0);
    }
    title_->setChecked(title != 0);
}

void CExportDlg::showEvent(QShowEvent* event) {
    UpdateData(false);
    QDialog::showEvent(event);
}

void CExportDlg::accept() {
    UpdateData(true);
    // A file the export may never write (one of a portfolio, a directory, a device) is refused here,
    // before any question about replacing it, and the dialog stays open for another name.
    CommandResult check = check_text_target(std::filesystem::path(QFile::encodeName(path).toStdString()));
    if (!check.ok) {
        Prompts::Get().Present(this, check);
        return;
    }
    QDialog::accept();
}

void CExportDlg::OnBrowse() {
    UpdateData(true);
    const QString chosen = Prompts::Get().SaveFileName(
        this, {path, QStringLiteral("Text Files (*.txt);; All Files (*.*)"), QStringLiteral("txt"), false});
    if (chosen.isEmpty()) {
        return;
    }
    path = QDir::toNativeSeparators(chosen);
    UpdateData(false);
}

namespace {

constexpr const char* kExportSection = "XportSel";
constexpr const char* kOmitKeys[kExportColumns] = {"OmitOpen",  "OmitHigh", "OmitLow",
                                                   "OmitClose", "OmitVol",  "OmitOI"};

} // namespace

CommandResult RunExportCommand(CSettingsStore& settings, const std::filesystem::path& dir,
                               const std::string& symbol, QWidget* parent) {
    CExportDlg dialog(parent);
    dialog.path = QString::fromStdString(settings.GetString(kExportSection, "Starter", "output.txt"));
    for (std::size_t i = 0; i < dialog.omit.size(); ++i) {
        dialog.omit[i] = settings.GetInt(kExportSection, kOmitKeys[i], 0);
    }
    dialog.order = settings.GetInt(kExportSection, "Newest", 0);
    dialog.delimiter = settings.GetInt(kExportSection, "Delim", 0);
    dialog.title = settings.GetInt(kExportSection, "Title", 0);
    if (Prompts::Get().RunSeriesDialog(dialog, symbol) != QDialog::Accepted) {
        return CommandResult::success();
    }
    const std::string pathText = dialog.path.toStdString();
    const std::filesystem::path file(QFile::encodeName(dialog.path).toStdString());
    if (fileops::stat(file).exists &&
        !Prompts::Get().AskYesNo(parent, QString::fromStdString(export_replace_question(pathText)))) {
        return CommandResult::success(); // nothing written, the choices not kept
    }
    ExportOptions options;
    for (std::size_t i = 0; i < dialog.omit.size(); ++i) {
        options.omit[i] = dialog.omit[i] != 0;
    }
    options.delimiter = dialog.delimiter;
    options.newest_first = dialog.order != 0;
    options.title = dialog.title != 0;
    // A started export keeps its choices, even when the file then cannot be written.
    WriteSettingsEntries(export_settings_entries(pathText, options), settings);
    CommandResult result;
    {
        const WaitCursor wait;
        result = export_quotes(dir, symbol, file, options);
    }
    if (result.ok) {
        Prompts::Get().Beep();
    } else if (result.messages.empty()) {
        result.add(MessageKind::Error,
                   "The quotes of symbol " + symbol + " could not be read.\nNothing was exported.");
        explain_failure(result, "Security " + symbol + " in " + dir.string());
    } else {
        explain_failure(result, "File: " + pathText);
    }
    return result;
}
