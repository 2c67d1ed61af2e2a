// The view's handlers of Split Search and Export: the modeless split-search window, and the export
// dialog with its remembered choices.
#include "analysis/export.h"
#include "analysis/ui/export_dlg.h"
#include "analysis/ui/split_search_dlg.h"
#include "browser/ui/symbol_list_model.h"
#include "common/failure_text.h"
#include "shell/edit_log.h"
#include "shell/settings_store.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/wait_cursor.h"
#include "storage/fileops.h"
#include "window/quorbit_view.h"

#include <QFile>
#include <QPointer>

#include <algorithm>

namespace {

constexpr const char* kExportSection = "XportSel";
constexpr const char* kOmitKeys[kExportColumns] = {"OmitOpen",  "OmitHigh", "OmitLow",
                                                   "OmitClose", "OmitVol",  "OmitOI"};

} // namespace

void CQuorbitView::OnSplitSearch() {
    SetSplitSearchOpen(true);
    const QPointer<CQuorbitView> self(this);
    // The search reads the portfolio and its symbols as they are when "Search" is pressed.
    auto request = [self] {
        SplitSearchRequest request;
        if (self) {
            request.portfolioDir = self->state_.portfolioDir;
            const int rows = std::min(self->state_.symbolCount, self->symbols_->Rows());
            for (int row = 0; row < rows; ++row) {
                request.symbols.push_back(self->symbols_->RowAt(row).symbol);
            }
        }
        return request;
    };
    auto closed = [self] {
        if (self) {
            self->SetSplitSearchOpen(false);
        }
    };
    QWidget* owner = frame_ != nullptr ? static_cast<QWidget*>(frame_) : window();
    auto* dialog = new CSplitSearchDlg(request, closed, owner);
    dialog->show();
}

void CQuorbitView::OnExport() {
    CExportDlg dialog(this);
    dialog.path = QString::fromStdString(settings_.GetString(kExportSection, "Starter", "output.txt"));
    for (std::size_t i = 0; i < dialog.omit.size(); ++i) {
        dialog.omit[i] = settings_.GetInt(kExportSection, kOmitKeys[i], 0);
    }
    dialog.order = settings_.GetInt(kExportSection, "Newest", 0);
    dialog.delimiter = settings_.GetInt(kExportSection, "Delim", 0);
    dialog.title = settings_.GetInt(kExportSection, "Title", 0);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted) {
        return;
    }
    const std::string pathText = dialog.path.toStdString();
    const std::filesystem::path file(QFile::encodeName(dialog.path).toStdString());
    if (fileops::stat(file).exists &&
        !Prompts::Get().AskYesNo(this, QString::fromStdString(export_replace_question(pathText)))) {
        return; // nothing written, the choices not kept
    }
    ExportOptions options;
    for (std::size_t i = 0; i < dialog.omit.size(); ++i) {
        options.omit[i] = dialog.omit[i] != 0;
    }
    options.delimiter = dialog.delimiter;
    options.newest_first = dialog.order != 0;
    options.title = dialog.title != 0;
    // A started export keeps its choices, even when the file then cannot be written.
    WriteSettingsEntries(export_settings_entries(pathText, options), settings_);
    CommandResult result;
    {
        const WaitCursor wait;
        result = export_quotes(state_.portfolioDir, state_.currentSymbol, file, options);
    }
    if (result.ok) {
        Prompts::Get().Beep();
    } else if (result.messages.empty()) {
        result.add(MessageKind::Error, "The quotes of symbol " + state_.currentSymbol +
                                           " could not be read.\nNothing was exported.");
        explain_failure(result, SeriesOnScreenText());
    } else {
        explain_failure(result, "File: " + pathText);
    }
    Prompts::Get().Present(this, result);
}
