#include "shell/ui/command_table.h"

#include <algorithm>

const std::vector<CommandEntry>& CommandTable() {
    using namespace command_id;
    static const std::vector<CommandEntry> table = {
        {kAppExit, "actionExit", "E&xit", "Quit the application\nQuit", ":/icons/quit.png", nullptr},
        {kViewToolbar, "actionToolbar", "&Toolbar", "Show or hide the toolbar", nullptr, nullptr},
        {kViewStatusBar, "actionStatusBar", "&Status Bar", "Show or hide the status bar", nullptr, nullptr},
        {32776, "actionSplitSearch", "&Split Search...",
         "Search this portfolio for possible splits\nSplit search", ":/icons/split_search.png", nullptr},
        {32850, "actionCheckData", "&Check Data...", "Check this portfolio for bad quotes\nCheck data",
         nullptr, nullptr},
        {32851, "actionChart", "&Chart", "Show the series on screen as a chart\nChart", nullptr, nullptr},
        {32790, "actionSearchFilter", "Search &Filter...", "Filter\nFilter", ":/icons/filter.png", nullptr},
        {32807, "actionReScan", "&ReScan", "ReScan drive(s) for portfolios\nReScan", ":/icons/rescan.png",
         "F5"},
        {32860, "actionNewPortfolio", "&New Portfolio...", "Make a folder an empty portfolio\nNew portfolio",
         nullptr, nullptr},
        {32861, "actionNewSymbol", "&New...", "Add a security without quotes to this portfolio\nNew symbol",
         nullptr, nullptr},
        {32862, "actionImportQuotes", "&Import...", "Bring quotes in from text files\nImport quotes", nullptr,
         nullptr},
        {32793, "actionDeleteSymbol", "&Delete", "Delete Symbol\nDelete Symbol", ":/icons/delete_symbol.png",
         nullptr},
        {32791, "actionMoveSymbol", "&Move...", "Move\nMove", ":/icons/move_symbol.png", nullptr},
        {32823, "actionCopySymbol", "&Copy...", "Copy\nCopy", ":/icons/copy_symbol.png", nullptr},
        {32789, "actionEditSymbol", "&Edit...", "Edit the symbol and name\nEdit Symbol",
         ":/icons/edit_symbol.png", nullptr},
        {32774, "actionSeriesFacts", "&About...", "Facts about the selected quote series\nData facts",
         ":/icons/series_facts.png", nullptr},
        {32771, "actionEditQuote", "&Edit...", "Edit the selected day's data\nEdit data",
         ":/icons/edit_quote.png", nullptr},
        {32772, "actionSplitQuotes", "&Split...", "Enter a split\nEnter split", ":/icons/split_quotes.png",
         nullptr},
        {32773, "actionAdjustQuotes", "Adju&st...", "Scale the volume or price\nScale values",
         ":/icons/adjust_quotes.png", nullptr},
        {32794, "actionAddQuote", "&Add...", "Add a single quote\nAdd quote", ":/icons/add_quote.png",
         nullptr},
        {32775, "actionDeleteQuote", "&Delete...", "Delete a single quote\nDelete quote",
         ":/icons/delete_quote.png", nullptr},
        {32804, "actionExportQuotes", "E&xport...", "Export quotes\nExport", ":/icons/export_quotes.png",
         nullptr},
        {kHelpIndex, "actionHelpTopics", "&Help Topics", "List Help topics\nHelp Topics", nullptr, nullptr},
        {kAppAbout, "actionAbout", "&About Quorbit...",
         "Display program information, version number and copyright\nAbout Quorbit", ":/icons/about.png",
         nullptr},
        // Keys that no menu shows.
        {kHelp, "actionHelp", "Help", "Display help for the current task or command\nHelp", nullptr, "F1"},
        {kContextHelp, "actionContextHelp", "Help",
         "Display help for clicked buttons, menus and windows\nHelp", nullptr, "Shift+F1"},
    };
    return table;
}

const CommandEntry* FindCommand(int id) {
    const auto& table = CommandTable();
    auto it = std::find_if(table.begin(), table.end(), [id](const CommandEntry& e) { return e.id == id; });
    return it == table.end() ? nullptr : &*it;
}

const std::vector<MenuEntry>& MenuTable() {
    using namespace command_id;
    static const std::vector<MenuEntry> menus = {
        {"&Quorbit", {kAppExit}},
        {"&View", {kViewToolbar, kViewStatusBar, 0, 32851}},
        {"&Portfolio", {32860, 0, 32776, 32850, 32790, 32807}},
        {"&Symbol", {32861, 32793, 32791, 32823, 0, 32789, 32774}},
        {"Q&uotes", {32771, 32772, 32773, 0, 32794, 32775, 0, 32862, 32804}},
        {"&Help", {kHelpIndex, 0, kAppAbout}},
    };
    return menus;
}

const std::vector<int>& ToolbarTable() {
    using namespace command_id;
    static const std::vector<int> buttons = {kAppExit, 0,     32776, 32790, 32807, 0,        32793,
                                             32791,    32823, 32789, 32774, 0,     32771,    32772,
                                             32773,    32794, 32775, 32804, 0,     kAppAbout};
    return buttons;
}
