#include "analysis/import.h"

#include "common/failure_text.h"
#include "common/latin1.h"
#include "common/symbol_list.h"
#include "common/symbol_text.h"
#include "common/value_format.h"
#include "storage/directory.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <numeric>
#include <optional>
#include <set>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

// The fields named by a value index (0 OPEN .. 5 OI).
int field_of_value(int value) {
    return kFieldOpen + value;
}

std::string lower(std::string_view text) {
    return portfolio_files::to_lower(text);
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// Where a quote came from, for a refusal.
struct Origin {
    std::uint32_t file = 0; // index into the files read
    std::uint32_t line = 0;
};

// The quotes bound for one security.
struct Target {
    std::string symbol; // as the text names it
    std::vector<MergeQuote> quotes;
    std::vector<Origin> origins; // parallel to quotes
    bool create = false;
    SeriesLocation at;
    SeriesShape shape; // of a security made new
    std::string name;
};

struct ReadFile {
    fs::path path;
    QuoteText text;
};

class Importer {
public:
    Importer(const fs::path& dir, const ImportOptions& options, std::vector<ImportOutcome>& outcomes)
        : dir_(dir), options_(options), outcomes_(outcomes) {}

    // Reads a file whose lines go to `symbol` (empty: to the tickers they name, or to the file's name).
    bool read(const fs::path& file, std::string_view symbol);
    bool check();
    CommandResult write(const ImportProgress& progress);
    CommandResult take_result() { return std::move(result_); }

private:
    bool refuse(std::string text, int status = 0) {
        result_ = CommandResult::failure(std::move(text), status);
        return false;
    }
    bool refuse_at(const Origin& origin, int column, std::string reason) {
        TextRefusal refusal;
        refusal.file = files_[origin.file].path.string();
        refusal.line = origin.line;
        refusal.column = column;
        refusal.reason = std::move(reason);
        return refuse(refusal.text());
    }
    Target& target_for(const std::string& symbol);
    bool check_order(Target& target);
    bool locate(Target& target);
    bool check_fields(Target& target);
    void write_one(Target& target, CommandResult& result);

    const fs::path& dir_;
    const ImportOptions& options_;
    std::vector<ImportOutcome>& outcomes_;
    std::vector<ReadFile> files_;
    std::vector<Target> targets_;
    std::unordered_map<std::string, std::size_t> by_key_; // upper-case symbol
    CommandResult result_ = CommandResult::success();
};

Target& Importer::target_for(const std::string& symbol) {
    const std::string key = portfolio_files::to_upper(symbol);
    auto [it, added] = by_key_.emplace(key, targets_.size());
    if (added)
        targets_.push_back(Target{symbol, {}, {}, false, {}, {}, {}});
    return targets_[it->second];
}

bool Importer::read(const fs::path& file, std::string_view symbol) {
    ReadFile& read = files_.emplace_back();
    read.path = file;
    TextRefusal refusal;
    if (!quote_text_read(file, options_.text, read.text, refusal))
        return refuse(refusal.text());
    const std::uint32_t index = static_cast<std::uint32_t>(files_.size() - 1);
    const auto ticker_column =
        std::find(read.text.columns.begin(), read.text.columns.end(), TextColumn::Ticker);
    const bool routed = symbol.empty() && ticker_column != read.text.columns.end();
    std::string fixed(symbol);
    if (fixed.empty() && !routed)
        fixed = file.stem().string();
    // Each ticker's target once, not once a line.
    std::vector<std::size_t> target_of_ticker(read.text.tickers.size(), targets_.size());
    for (std::size_t t = 0; t < read.text.tickers.size(); ++t) {
        const std::string name = routed ? trimmed(read.text.tickers[t]) : fixed;
        if (name.empty())
            continue;
        Target& target = target_for(name);
        target_of_ticker[t] = static_cast<std::size_t>(&target - targets_.data());
        if (target.name.empty() && t < read.text.names.size())
            target.name = trimmed(read.text.names[t]).substr(0, kMaxLongNameLength); // the longest kept
    }
    if (target_of_ticker.size() == 1 && target_of_ticker[0] < targets_.size()) {
        Target& only = targets_[target_of_ticker[0]];
        only.quotes.reserve(only.quotes.size() + read.text.quotes.size());
        only.origins.reserve(only.origins.size() + read.text.quotes.size());
    }
    for (const TextQuote& quote : read.text.quotes) {
        const std::size_t t =
            quote.ticker < target_of_ticker.size() ? target_of_ticker[quote.ticker] : targets_.size();
        if (t >= targets_.size())
            return refuse_at({index, quote.line},
                             static_cast<int>(ticker_column - read.text.columns.begin()) + 1,
                             "the line names no security");
        MergeQuote merged;
        merged.date = quote.date;
        merged.time = quote.time;
        std::copy(quote.values.begin(), quote.values.end(), merged.values);
        merged.given = quote.given;
        targets_[t].quotes.push_back(merged);
        targets_[t].origins.push_back({index, quote.line});
    }
    for (const std::string& note : read.text.notes)
        result_.add(MessageKind::Information, file.filename().string() + ": " + note);
    // The quotes live on in their targets: the file's own copy goes, so that the next file reuses it.
    std::vector<TextQuote>().swap(read.text.quotes);
    return true;
}

// The quotes of a target in date and time order; two for the same date and time (from two files) refuse.
bool Importer::check_order(Target& target) {
    auto key = [&](std::uint32_t i) { return std::pair(target.quotes[i].date, target.quotes[i].time); };
    // Most texts list their quotes in order already: nothing to sort, nothing to copy.
    bool ordered = true;
    for (std::uint32_t i = 1; i < target.quotes.size() && ordered; ++i)
        ordered = key(i - 1) < key(i);
    if (ordered)
        return true;
    std::vector<std::uint32_t> order(target.quotes.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return key(a) < key(b); });
    std::vector<MergeQuote> quotes;
    std::vector<Origin> origins;
    quotes.reserve(order.size());
    origins.reserve(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t i = order[k];
        if (k > 0 && key(order[k - 1]) == key(i)) {
            const Origin& first = target.origins[order[k - 1]];
            return refuse_at(target.origins[i], files_[target.origins[i].file].text.date_column,
                             "a second quote of " + target.symbol + " for " +
                                 quote_date_text(target.quotes[i].date) + " (the first is line " +
                                 std::to_string(first.line) + " of " + files_[first.file].path.string() +
                                 ")");
        }
        quotes.push_back(target.quotes[i]);
        origins.push_back(target.origins[i]);
    }
    target.quotes = std::move(quotes);
    target.origins = std::move(origins);
    return true;
}

// The shape of a security made from these quotes alone: the fields they give values for.
SeriesShape shape_of(const Target& target) {
    SeriesShape shape;
    shape.has[kFieldDate] = true;
    for (const MergeQuote& quote : target.quotes) {
        shape.has[kFieldTime] = shape.has[kFieldTime] || quote.time != 0;
        for (int value = 0; value < 6; ++value) {
            if (quote.given & (1u << value))
                shape.has[static_cast<std::size_t>(field_of_value(value))] = true;
        }
    }
    shape.periodicity = shape.has[kFieldTime] ? 'I' : 'D';
    return shape;
}

bool Importer::locate(Target& target) {
    const StatusCode status = series_locate(dir_, target.symbol, target.at);
    if (status == 0)
        return true;
    if (status != status::kFileNotFound || !options_.create) {
        if (status == status::kFileNotFound)
            return refuse("Symbol " + target.symbol + " was not found in\n" + dir_.string() +
                          "\nNothing was imported.");
        CommandResult failure =
            CommandResult::failure("Symbol " + target.symbol + " cannot be read.", status);
        explain_failure(failure, dir_.string());
        result_ = failure;
        return false;
    }
    target.create = true;
    // The name given, else the one the file gives, else the symbol.
    target.name = !options_.name.empty() ? options_.name : !target.name.empty() ? target.name : target.symbol;
    for (const CommandResult& check :
         {check_symbol_text(target.symbol), check_name_text(target.name, kMaxLongNameLength)}) {
        if (!check.ok)
            return refuse("Symbol " + target.symbol + " cannot be made: " + check.messages.front().text);
    }
    target.shape = options_.shape_given ? options_.shape : shape_of(target);
    if (target.shape.field_count() < 2)
        return refuse(target.symbol + ": the text gives no values to keep.");
    return true;
}

// A time of day needs a TIME field; values for fields the security lacks are only noted.
bool Importer::check_fields(Target& target) {
    const FieldLayout layout = target.create ? target.shape.layout() : target.at.layout;
    if (layout.position[kFieldTime] == 0) {
        for (std::size_t i = 0; i < target.quotes.size(); ++i) {
            if (target.quotes[i].time != 0) {
                const Origin& origin = target.origins[i];
                return refuse_at(origin, files_[origin.file].text.time_column,
                                 target.symbol + " keeps no time of day: its quotes are daily");
            }
        }
    }
    std::uint8_t given = 0;
    for (const MergeQuote& quote : target.quotes)
        given = static_cast<std::uint8_t>(given | quote.given);
    for (int value = 0; value < 6; ++value) {
        if ((given & (1u << value)) && layout.position[field_of_value(value)] == 0)
            result_.add(MessageKind::Information, target.symbol + " has no " +
                                                      field_name(field_of_value(value)) +
                                                      " field: those values are not stored.");
    }
    return true;
}

bool Importer::check() {
    // A file without quotes for a security gives nothing to write; every other target is checked.
    std::set<fs::path> written;
    for (Target& target : targets_) {
        if (!check_order(target) || !locate(target) || !check_fields(target))
            return false;
        written.insert(target.create ? dir_ : target.at.dir);
    }
    // A MASTER the symbol list calls damaged is not written, as by every other command.
    for (const fs::path& dir : written) {
        if (CommandResult check = check_master_writable(portfolio_files::master(dir)); !check.ok) {
            result_ = check;
            return false;
        }
    }
    return true;
}

void Importer::write_one(Target& target, CommandResult& result) {
    ImportOutcome& outcome = outcomes_.emplace_back();
    outcome.symbol = target.symbol;
    outcome.created = target.create;
    std::string note;
    int status = 0;
    if (options_.dry_run) {
        std::vector<std::uint8_t> content;
        const int fields = target.shape.field_count();
        status = target.create
                     ? series_merge_image(series_file_image(fields, {}), 4 * fields, target.shape.layout(),
                                          target.quotes, false, content, outcome.counts)
                     : series_merge_count(target.at, target.quotes, options_.keep_existing, outcome.counts);
        if (status == 0)
            return;
    } else if (target.create) {
        NewSecurity security{*latin1_from_utf8(target.symbol), *latin1_from_utf8(target.name), target.shape};
        int number = 0;
        status = security_create(dir_, security, target.quotes, number, outcome.counts, &note);
    } else {
        status = series_merge_at(target.at, target.quotes, options_.keep_existing, dir_, {}, outcome.counts,
                                 &note);
    }
    if (!note.empty())
        result.add(MessageKind::Warning, note);
    outcome.written = status == 0 && !options_.dry_run;
    if (status == 0)
        return;
    result.ok = false;
    result.status = status;
    result.error = errno;
    std::string text = target.symbol + ": nothing imported, " + status_words(status) + ".";
    if (status == status::kRecordNotFound)
        text = target.symbol + ": nothing imported, its stored quotes are not in date order (quote " +
               std::to_string(outcome.counts.bars + 1) + ").";
    if (status == status::kFileExists)
        text = target.symbol + ": nothing imported, a file of the number it would take is in the way.";
    if (status == 2)
        text = target.symbol + ": nothing imported, the portfolio is full.";
    result.add(MessageKind::Error, text);
}

CommandResult Importer::write(const ImportProgress& progress) {
    CommandResult result = std::move(result_);
    result.ok = true;
    std::size_t done = 0;
    for (Target& target : targets_) {
        if (progress && !progress(done, targets_.size())) {
            result.ok = false;
            result.add(MessageKind::Warning, "Cancelled.");
            break;
        }
        write_one(target, result);
        ++done;
    }
    if (!result.ok && !options_.dry_run) {
        std::string written, not_written;
        // Outcome i is target i's; the targets after a Cancel have none.
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            const bool done_it = i < outcomes_.size() && outcomes_[i].written;
            (done_it ? written : not_written) += " " + targets_[i].symbol;
        }
        result.add(MessageKind::Error, "Imported:" + (written.empty() ? std::string(" none") : written) +
                                           "\nNot imported:" + not_written);
    }
    return result;
}

bool parse_periodicity(std::string_view text, char& letter) {
    if (text.empty()) {
        letter = 'D';
        return true;
    }
    if (text.size() != 1)
        return false;
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return letter == 'D' || letter == 'W' || letter == 'M' || letter == 'I';
}

int field_named(std::string_view name) {
    const std::string text = lower(trimmed(name));
    for (int field = 0; field < kFieldNames; ++field) {
        if (text == lower(field_name(field)))
            return field;
    }
    if (text == "volume")
        return kFieldVol;
    if (text == "openint" || text == "open interest")
        return kFieldOi;
    return -1;
}

} // namespace

bool series_shape_parse(std::string_view fields, std::string_view periodicity, SeriesShape& shape,
                        std::string& error) {
    char letter = 'D';
    if (!parse_periodicity(periodicity, letter)) {
        error = "The periodicity is one of D, W, M or I.";
        return false;
    }
    if (fields.empty()) {
        shape = series_shape_default(letter);
        return true;
    }
    shape = SeriesShape{};
    shape.periodicity = letter;
    shape.has[kFieldDate] = true;
    std::size_t start = 0;
    while (start <= fields.size()) {
        const std::size_t comma = std::min(fields.find(',', start), fields.size());
        const std::string_view item = fields.substr(start, comma - start);
        const int field = field_named(item);
        if (field < 0) {
            error = "Unknown field \"" + trimmed(item) +
                    "\": the fields are date, time, open, high, low, close, "
                    "vol and oi.";
            return false;
        }
        shape.has[static_cast<std::size_t>(field)] = true;
        start = comma + 1;
    }
    if (shape.has[kFieldTime] != (letter == 'I')) {
        error = letter == 'I' ? "An intra-day security keeps the time of each quote: its fields include time."
                              : "Only an intra-day security keeps a time of day.";
        return false;
    }
    if (shape.field_count() < 2) {
        error = "A security keeps at least one value beside the date.";
        return false;
    }
    return true;
}

std::string ImportOutcome::text() const {
    std::string out = symbol + (created ? " (new): " : ": ") + std::to_string(counts.added) + " added, " +
                      std::to_string(counts.replaced) + " replaced, " + std::to_string(counts.unchanged) +
                      " unchanged; " + std::to_string(counts.bars) +
                      (counts.bars == 1 ? " quote" : " quotes");
    if (counts.bars > 0)
        out += " from " + quote_date_text(counts.first) + " to " + quote_date_text(counts.last);
    return out;
}

CommandResult new_portfolio(const fs::path& dir) {
    const fileops::OperationScope scope;
    const StatusCode status = portfolio_create(dir);
    if (status == 0)
        return CommandResult::success();
    if (status == status::kFileExists)
        return CommandResult::failure(dir.string() +
                                          "\nalready holds a portfolio, or is no folder. Nothing was made.",
                                      status, MessageKind::Warning);
    CommandResult failure = CommandResult::failure("The portfolio could not be made.", status);
    failure.error = errno;
    explain_failure(failure, dir.string());
    return failure;
}

CommandResult new_security(const fs::path& dir, std::string_view symbol, std::string_view name,
                           const SeriesShape& shape) {
    const fileops::OperationScope scope;
    if (symbol.empty())
        return CommandResult::failure("You must enter a symbol", 0, MessageKind::Warning);
    for (const CommandResult& check :
         {check_symbol_text(symbol), check_name_text(name, kMaxLongNameLength)}) {
        if (!check.ok)
            return check;
    }
    if (CommandResult check = check_master_writable(portfolio_files::master(dir)); !check.ok)
        return check;
    MasterRecord found;
    fs::path found_dir;
    const StatusCode lookup = master_find(dir, symbol, found, found_dir);
    if (lookup == 0)
        return CommandResult::failure("Symbol " + std::string(symbol) + " already exists in\n" + dir.string(),
                                      0, MessageKind::Warning);
    if (lookup != status::kFileNotFound || !portfolio_files::present(dir, "MASTER")) {
        CommandResult failure = CommandResult::failure("The portfolio cannot be read.", lookup);
        explain_failure(failure, dir.string());
        return failure;
    }
    const NewSecurity security{*latin1_from_utf8(symbol), *latin1_from_utf8(name), shape};
    int number = 0;
    MergeCounts counts;
    std::string note;
    const int status = security_create(dir, security, {}, number, counts, &note);
    if (status == 0) {
        CommandResult result = CommandResult::success();
        if (!note.empty())
            result.add(MessageKind::Warning, note);
        result.add(MessageKind::Information, "Symbol " + std::string(symbol) + " was added to " +
                                                 dir.string() + ", its quotes in F" + std::to_string(number) +
                                                 (number >= kFirstXmasterNumber ? ".MWD." : ".DAT."));
        return result;
    }
    CommandResult result = CommandResult::failure(
        status == 2 ? "The portfolio is full: no file number is free." : "The security could not be added.",
        status);
    result.error = errno;
    explain_failure(result, dir.string());
    if (!note.empty())
        result.add(MessageKind::Warning, note);
    return result;
}

CommandResult import_quotes(const fs::path& dir, std::string_view symbol, const fs::path& file,
                            const ImportOptions& options, std::vector<ImportOutcome>& outcomes) {
    const fileops::OperationScope scope;
    outcomes.clear();
    if (symbol.empty())
        return CommandResult::failure("You must enter a symbol", 0, MessageKind::Warning);
    Importer importer(dir, options, outcomes);
    if (!importer.read(file, symbol) || !importer.check())
        return importer.take_result();
    return importer.write({});
}

CommandResult import_all(const fs::path& dir, const std::vector<fs::path>& files,
                         const ImportOptions& options, std::vector<ImportOutcome>& outcomes,
                         const ImportProgress& progress) {
    const fileops::OperationScope scope;
    outcomes.clear();
    ImportOptions each = options;
    each.name.clear(); // every security made is named after its symbol
    Importer importer(dir, each, outcomes);
    for (const fs::path& file : files) {
        if (!importer.read(file, {}))
            return importer.take_result();
    }
    if (!importer.check())
        return importer.take_result();
    return importer.write(progress);
}
