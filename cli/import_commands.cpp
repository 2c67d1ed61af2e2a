// The commands that bring quotes in: a new portfolio, a new security, an import of one file into one
// security, and of many files into a whole portfolio. Result lines (one a security) go to standard
// output, notes and refusals to standard error.
#include "analysis/import.h"
#include "cli/command.h"
#include "cli/output.h"

#include <iostream>

namespace {

std::string option(const Args& args, const char* name) {
    const auto it = args.options.find(name);
    return it == args.options.end() ? std::string() : it->second;
}

// The reading options every import takes: --columns LIST and --day-first.
bool text_options(const Args& args, QuoteTextOptions& options, std::string& error) {
    if (args.options.count("--columns") &&
        !text_columns_parse(option(args, "--columns"), options.columns, error)) {
        error = "--columns: " + error;
        return false;
    }
    options.day_first = args.options.count("--day-first") > 0;
    return true;
}

bool shape_options(const Args& args, SeriesShape& shape, bool& given, std::string& error) {
    given = args.options.count("--fields") > 0 || args.options.count("--periodicity") > 0;
    return series_shape_parse(option(args, "--fields"), option(args, "--periodicity"), shape, error);
}

int report_import(const CommandResult& result, const std::vector<ImportOutcome>& outcomes) {
    for (const ImportOutcome& outcome : outcomes) {
        if (outcome.written)
            std::cout << outcome.text() << "\n";
    }
    std::cout << std::flush;
    return report(result);
}

} // namespace

int run_new_portfolio(const Command&, const Args& args) {
    return report_change(new_portfolio(args.positional[0]),
                         "Made the empty portfolio " + args.positional[0] + ".");
}

int run_new_security(const Command& self, const Args& args) {
    SeriesShape shape;
    bool given = false;
    std::string error;
    if (!shape_options(args, shape, given, error))
        return option_error(self, error);
    return report(new_security(args.positional[0], args.positional[1], args.positional[2], shape));
}

namespace {

// The options both imports take; false when one of them cannot be used (`error` says why).
bool import_options(const Args& args, ImportOptions& options, std::string& error) {
    if (!text_options(args, options.text, error) ||
        !shape_options(args, options.shape, options.shape_given, error))
        return false;
    options.keep_existing = args.options.count("--keep-existing") > 0;
    options.create = args.options.count("--create") > 0;
    return true;
}

} // namespace

int run_import(const Command& self, const Args& args) {
    ImportOptions options;
    std::string error;
    if (!import_options(args, options, error))
        return option_error(self, error);
    options.name = option(args, "--create");
    std::vector<ImportOutcome> outcomes;
    const CommandResult result =
        import_quotes(args.positional[0], args.positional[1], args.positional[2], options, outcomes);
    return report_import(result, outcomes);
}

int run_import_all(const Command& self, const Args& args) {
    ImportOptions options;
    std::string error;
    if (!import_options(args, options, error))
        return option_error(self, error);
    const std::vector<std::filesystem::path> files(args.positional.begin() + 1, args.positional.end());
    std::vector<ImportOutcome> outcomes;
    return report_import(import_all(args.positional[0], files, options, outcomes), outcomes);
}
