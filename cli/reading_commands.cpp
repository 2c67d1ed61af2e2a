// The commands that read a portfolio: the walk, the symbol and quote lists, the series facts, the export
// and the split search (which write only their text results).
#include "analysis/data_check.h"
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "cli/command.h"
#include "cli/output.h"
#include "common/latin1.h"
#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "editing/series_facts.h"
#include "editing/value_text.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"
#include "storage/status.h"
#include "storage/text_util.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace {

std::string trimmed_right(std::string text) {
    trim_right(text);
    return text;
}

// One row of `quotes`: the date, the time of an intra-day quote, the six values, tab-separated.
void append_quote_row(std::string& out, const QuoteRowValues& row, bool with_time) {
    out += quote_date_text(row.date);
    if (with_time) {
        out += '\t';
        out += quote_time_text(row.time);
    }
    for (int c = 1; c < kQuoteCells; ++c) {
        out += '\t';
        append_quote_value_text(out, row.values[static_cast<std::size_t>(c - 1)], quote_cell_precision(c));
    }
    out += '\n';
}

bool export_options(const Args& args, ExportOptions& options, std::string& error) {
    auto delimiter = args.options.find("--delimiter");
    if (delimiter != args.options.end()) {
        const std::map<std::string, int> names = {{"space", 0}, {"comma", 1}, {"tab", 2}};
        auto it = names.find(delimiter->second);
        if (it == names.end()) {
            error = "--delimiter takes space, comma or tab";
            return false;
        }
        options.delimiter = it->second;
    }
    auto omit = args.options.find("--omit");
    if (omit != args.options.end()) {
        // The time column of an intra-day series is left out as "time".
        constexpr int kTime = kExportColumns;
        const std::map<std::string, int> names = {
            {"time", kTime},         {"open", kExportOpen}, {"high", kExportHigh}, {"low", kExportLow},
            {"close", kExportClose}, {"vol", kExportVol},   {"oi", kExportOi}};
        std::string list = omit->second + ",";
        for (std::size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos;
             start = comma + 1) {
            std::string word = portfolio_files::to_lower(list.substr(start, comma - start));
            if (word.empty())
                continue;
            auto it = names.find(word);
            if (it == names.end()) {
                error = "--omit takes a list of time, open, high, low, close, vol, oi";
                return false;
            }
            (it->second == kTime ? options.omit_time : options.omit[it->second]) = true;
        }
    }
    options.newest_first = args.options.count("--newest-first") > 0;
    options.title = args.options.count("--title") > 0;
    options.ticker = args.options.count("--ticker") > 0;
    options.full_precision = args.options.count("--full-precision") > 0;
    return true;
}

// Says once, on standard error, that the portfolio's XMASTER could not be read; the status stays.
void warn_unusable_xmaster(const std::string& dir) {
    if (std::string notice = xmaster_notice(dir); !notice.empty())
        write_message(MessageKind::Warning, notice);
}

} // namespace

int run_portfolios(const Command&, const Args& args) {
    std::error_code ec;
    const std::filesystem::file_status root = std::filesystem::status(args.positional[0], ec);
    if (!std::filesystem::is_directory(root)) {
        write_message(MessageKind::Error,
                      "ROOT: " + args.positional[0] +
                          (std::filesystem::exists(root) ? " is not a directory." : " does not exist."));
        return kFailed;
    }
    // The walk never follows a link, so a ROOT that is one is resolved first.
    std::filesystem::path walked = args.positional[0];
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(walked, ec)))
        walked = std::filesystem::canonical(walked, ec);
    std::vector<std::string> found;
    auto filter = args.options.find("--filter");
    bool limit = filter != args.options.end();
    SearchForMasters(walked, found, limit, limit ? portfolio_files::to_upper(filter->second) : "");
    for (const auto& path : found)
        std::cout << path << "\n";
    return kOk;
}

int run_symbols(const Command&, const Args& args) {
    SymbolListing listing = symbol_list_read(master_of(args.positional[0]));
    if (!listing.result.ok) {
        write_message(MessageKind::Error, listing.problem);
        return kFailed;
    }
    if (!listing.xmaster_unusable.empty())
        write_message(MessageKind::Warning,
                      xmaster_notice(master_of(args.positional[0]).parent_path(), listing.xmaster_unusable));
    if (listing.header_count > kMaxSecurities)
        write_message(MessageKind::Warning,
                      "The portfolio file says it holds " + std::to_string(listing.header_count) +
                          " securities; only the first " + std::to_string(kMaxSecurities) + " are listed.");
    if (args.options.count("--header"))
        std::cout << "SYMBOL\tNAME\tFILE\tLENGTH\tFIELDS\tFIRST\tLAST\tPERIODICITY\n";
    for (const auto& row : listing.rows) {
        const MasterRecord r = row.record();
        const char periodicity = r.periodicity();
        std::cout << row.symbol() << '\t' << utf8_from_latin1(trimmed_right(std::string(row.name()))) << '\t'
                  << r.file_number() << '\t' << r.record_length() << '\t' << r.field_count() << '\t'
                  << quote_date_text(r.stored_first_date()) << '\t' << quote_date_text(r.stored_last_date())
                  << '\t' << (periodicity >= 32 && periodicity < 127 ? periodicity : '?') << "\n";
    }
    if (listing.needs_repair)
        write_message(MessageKind::Warning,
                      "The master file " + master_of(args.positional[0]).string() +
                          " has records with blank symbols; 'quorbit-cli repair' mends it.");
    return kOk;
}

int run_quotes(const Command&, const Args& args) {
    std::vector<QuoteRowValues> rows; // newest first
    bool with_time = false;
    QuoteReadSink sink;
    sink.begin = [&](std::int32_t count, bool has_time) {
        with_time = has_time;
        rows.reserve(static_cast<std::size_t>(std::max<std::int32_t>(count, 0)));
    };
    sink.window = [&](std::span<const QuoteRowValues> window) {
        rows.insert(rows.end(), window.begin(), window.end());
    };
    const QuoteValuesRead read = quote_values_read(args.positional[0], args.positional[1], sink);
    if (args.options.count("--header") && read.result.ok)
        std::cout << (with_time && !rows.empty() ? "DATE\tTIME" : "DATE")
                  << "\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI\n";
    // The text goes out in large pieces: one write per row would cost more than the formatting.
    const bool oldest_first = args.options.count("--oldest-first") != 0;
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        append_quote_row(text, rows[oldest_first ? rows.size() - 1 - i : i], with_time);
        if (text.size() >= (1u << 16) || i + 1 == rows.size()) {
            std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
            text.clear();
        }
    }
    if (!read.result.ok && read.result.status != status::kMalloc) {
        write_message(MessageKind::Error,
                      security_problem(args.positional[0], args.positional[1], read.result.status));
        return kFailed;
    }
    return report(read.result);
}

int run_facts(const Command&, const Args& args) {
    editing::SeriesFactsTexts facts = editing::describe_series(args.positional[0], args.positional[1]);
    if (!facts.result.ok)
        return report(facts.result);
    std::cout << "Path:\t" << facts.path << "\n";
    for (const auto& [label, text] : facts.data)
        std::cout << label << '\t' << text << "\n";
    for (const auto& field : facts.formats) {
        std::cout << field.field << " Input\t" << field.input << "\n";
        std::cout << field.field << " Display\t" << field.display << "\n";
    }
    return kOk;
}

int run_export(const Command& self, const Args& args) {
    ExportOptions options;
    std::string error;
    if (!export_options(args, options, error))
        return option_error(self, error);
    CommandResult result;
    if (args.positional[2] == "-") {
        fileops::File out(1); // standard output, left open
        fileops::BufferedWriter writer(out);
        result = export_quotes_to(args.positional[0], args.positional[1], writer, options);
        out.release();
    } else {
        result = export_quotes(args.positional[0], args.positional[1], args.positional[2], options);
    }
    if (!result.ok && result.messages.empty()) {
        write_message(MessageKind::Error,
                      security_problem(args.positional[0], args.positional[1], result.status));
        return kFailed;
    }
    return report(result);
}

int run_export_all(const Command& self, const Args& args) {
    ExportOptions options;
    std::string error;
    if (!export_options(args, options, error))
        return option_error(self, error);
    std::error_code ec;
    std::filesystem::create_directories(args.positional[1], ec);
    warn_unusable_xmaster(args.positional[0]);
    return report(export_portfolio(args.positional[0], args.positional[1], options));
}

int run_split_search(const Command&, const Args& args) {
    warn_unusable_xmaster(args.positional[0]);
    SplitSearchOutcome outcome =
        split_search_portfolio(args.positional[0], [](const SplitSearchEvent& event) {
            if (event.kind == SplitEventKind::Line)
                std::cout << event.text << "\n" << std::flush;
            else if (event.kind == SplitEventKind::Notice)
                write_message(Message{event.message_kind, event.text});
            return true;
        });
    // Every notice, "No candidate splits found" among them, has been written as it came.
    bool notices_shown = false;
    for (const auto& event : outcome.events)
        notices_shown = notices_shown || event.kind == SplitEventKind::Notice;
    if (!notices_shown)
        report(outcome.result);
    int status = outcome.result.ok ? kOk : kFailed;
    // "-" names standard output, where the lines have gone already.
    auto output = args.options.find("--output");
    if (output != args.options.end() && output->second != "-" &&
        report(split_search_save(output->second, outcome.lines)) != kOk)
        status = kFailed;
    return status;
}

namespace {

// A limit given on the command line: a whole number from 0 to 100000.
bool limit_option(const Args& args, const char* name, int& value, std::string& error) {
    auto option = args.options.find(name);
    if (option == args.options.end())
        return true;
    const std::string& text = option->second;
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
        error = std::string(name) + " takes a whole number of at most 6 digits";
        return false;
    }
    value = std::stoi(text);
    return true;
}

} // namespace

int run_check(const Command& self, const Args& args) {
    CheckLimits limits;
    std::string error;
    if (!limit_option(args, "--spike", limits.spike_percent, error) ||
        !limit_option(args, "--gap", limits.gap_days, error))
        return option_error(self, error);
    const std::string& dir = args.positional[0];
    CheckListener listener;
    listener.finding = [](const SecurityFinding& finding) {
        std::cout << check_line(finding) << "\n";
        return true;
    };
    CheckOutcome outcome;
    if (args.positional.size() > 1) {
        const std::string& symbol = args.positional[1];
        SeriesLocation location;
        if (const StatusCode found = series_locate(dir, symbol, location); found != status::kOk) {
            write_message(MessageKind::Error, security_problem(dir, symbol, found));
            return kFailed;
        }
        outcome = check_listed({{dir, symbol, symbol}}, limits, listener);
    } else {
        outcome = check_portfolio(dir, limits, listener);
    }
    std::cout << std::flush;
    if (!outcome.result.ok)
        return report(outcome.result);
    for (const Message& message : outcome.result.messages)
        write_message(message);
    return outcome.findings.empty() ? kOk : kFailed;
}
