#include "browser/ui/symbol_list_fill.h"

#include "common/failure_text.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"

namespace {

constexpr const char* kFillSymbolsFailure = "Failure while filling symbols grid";

SymbolListFilled Failed(SymbolListModel& model, const CommandResult& failure, QWidget* parent) {
    model.Clear();
    Prompts::Get().Present(parent, failure);
    return {};
}

void ShowRows(SymbolListModel& model, const SymbolListing& listing) {
    std::vector<SymbolListModel::Row> rows;
    rows.reserve(listing.rows.size());
    for (const SymbolRow& row : listing.rows) {
        // A record without a symbol shows its name as stored, trailing blanks included; the key drops
        // them.
        rows.push_back({std::string(row.damaged ? row.name() : row.symbol()), std::string(row.name())});
    }
    model.SetRows(std::move(rows));
}

} // namespace

SymbolListFilled FillSymbolList(SymbolListModel& model, const std::filesystem::path& masterPath,
                                bool autoRepair, CMainFrame* frame, QWidget* parent) {
    if (masterPath.empty()) {
        return Failed(model, CommandResult::failure(kFillSymbolsFailure), parent);
    }
    SymbolListing listing = symbol_list_read(masterPath);
    if (frame != nullptr) { // said once, while the portfolio is open
        frame->SetNotice(QString::fromStdString(xmaster_notice(
            masterPath.parent_path(), listing.result.ok ? listing.xmaster_unusable : std::string())));
    }
    if (!listing.result.ok) { // with its own message (after the count cut to 255, when there was one)
        CommandResult failure = listing.result;
        explain_failure(failure, listing.problem.empty() ? "File: " + masterPath.string() : listing.problem);
        return Failed(model, failure, parent);
    }
    Prompts::Get().Present(parent, listing.result);
    ShowRows(model, listing);
    // Declined, the rows still show the names as symbols and the portfolio can be browsed: each such row
    // finds its series by its name. Repaired, they show the symbols as the records now read.
    const bool damaged = listing.needs_repair;
    const auto confirm = [autoRepair, parent](const Message& question) {
        return autoRepair || Prompts::Get().AskYesNo(parent, QString::fromStdString(question.text));
    };
    const CommandResult repair = symbol_list_repair(listing, masterPath, confirm, DeclinedRepair::Browses);
    if (!repair.ok) {
        return Failed(model, repair, parent);
    }
    Prompts::Get().Present(parent, repair);
    if (damaged && !listing.needs_repair) {
        ShowRows(model, listing);
    }
    return {true, listing.symbol_count};
}

void OfferEmasterRebuild(const std::filesystem::path& dir, bool autoRepair, QWidget* parent) {
    if (emaster_disagreement(dir).empty() ||
        (!autoRepair &&
         !Prompts::Get().AskYesNo(parent, QString::fromStdString(rebuild_question_text(dir))))) {
        return;
    }
    CommandResult rebuilt = CommandResult::success();
    heal_before_change(dir, rebuilt);
    Prompts::Get().Present(parent, rebuilt);
}
