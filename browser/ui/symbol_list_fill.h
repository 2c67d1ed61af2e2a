// One reading of a portfolio into the symbol list: the reading's notices and rows shown, the repair of a
// damaged MASTER offered (made at once when the search filter repairs automatically) and the rows shown
// again as repaired; then the offer to rebuild an EMASTER out of step with MASTER.
#pragma once

#include "browser/ui/symbol_list_model.h"

#include <filesystem>

class CMainFrame;
class QWidget;

// False when the list could not be filled: the failure has been shown and the list is empty.
struct SymbolListFilled {
    bool ok = false;
    int symbolCount = 0; // the securities the list was filled for (at most 255 of MASTER, then XMASTER's)
};

// Fills `model` from the MASTER at `masterPath` (empty: no MASTER chosen, which fails). `frame` (may be
// null) is told, once the files are read, whether XMASTER could be read.
SymbolListFilled FillSymbolList(SymbolListModel& model, const std::filesystem::path& masterPath,
                                bool autoRepair, CMainFrame* frame, QWidget* parent);

// Offers, as the MASTER repair, to rebuild an EMASTER out of step with MASTER (at once when `autoRepair`);
// a decline changes nothing.
void OfferEmasterRebuild(const std::filesystem::path& dir, bool autoRepair, QWidget* parent);
