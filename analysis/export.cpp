#include "analysis/export.h"

#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "storage/display_text.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"
#include "storage/text_util.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Bars read per series_read call; a window of this size still fits the series' single block.
constexpr std::int16_t kExportWindow = 2000;
// Windows being formatted while the oldest of them waits to be written, and the threads formatting them
// beside the calling thread (which formats every second window of a long export itself: two cores kept
// busy without a third thread competing for them).
constexpr std::size_t kFormattingAhead = 2;
constexpr int kFormattingThreads = 1;
constexpr const char* kExportError = "file export error";
constexpr const char* kTitles[kExportColumns] = {"OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
constexpr int kFields[kExportColumns] = {kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi};
constexpr int kPrecision[kExportColumns] = {4, 4, 4, 4, 2, 2};
// Room for the longest row: a date text (a few characters more than MM/DD/YYYY), a delimited time (a few
// more than HH:MM:SS) and six delimited values.
constexpr std::size_t kTextRoom = 32;
constexpr std::size_t kRowRoom =
    kTextRoom + 1 + kTextRoom + 1 + kTextRoom + kExportColumns * (1 + kFloatFixedTextMax);

std::filesystem::path temporary_for(const std::filesystem::path& file) {
    std::filesystem::path temp = file;
    temp += ".part";
    return temp;
}

// One bar as the export writes it: its date, its time and the values of the six columns.
struct ExportBar {
    DayNumber date = 0;
    TimeOfDay time = 0;
    std::array<float, kExportColumns> values{};
};

// The value each column repeats while a bar holds none (below 0) of its own.
using CarriedValues = std::array<std::optional<float>, kExportColumns>;

CarriedValues carried_after(const std::vector<ExportBar>& bars, CarriedValues carried) {
    for (const ExportBar& bar : bars) {
        for (std::size_t c = 0; c < kExportColumns; ++c) {
            if (bar.values[c] >= 0.0f) {
                carried[c] = bar.values[c];
            }
        }
    }
    return carried;
}

// What the rows are made of: the choices and whether the series has a time column to write.
struct RowShape {
    ExportOptions options;
    bool time_column = false; // the series has TIME and the column is not omitted
    std::string ticker;       // the first column's text, as written (quoted when it must be)
};

// The symbol as a cell: in double quotes when it holds the delimiter or a double quote (doubled).
std::string ticker_cell(std::string_view symbol, char delimiter) {
    if (symbol.find(delimiter) == std::string_view::npos && symbol.find('"') == std::string_view::npos)
        return std::string(symbol);
    std::string cell = "\"";
    for (char c : symbol) {
        cell += c;
        if (c == '"')
            cell += '"';
    }
    return cell + '"';
}

RowShape row_shape(const ExportOptions& options, bool series_has_time, std::string_view symbol) {
    return {options, series_has_time && !options.omit_time,
            options.ticker ? ticker_cell(symbol, export_delimiter_char(options.delimiter)) : std::string()};
}

// The date as the quote list shows it (MM/DD/YY), with four year digits wherever two would be read back
// in another century: before 1960, as the list shows them, and from 2060 on.
std::string export_date_text(DayNumber day) {
    static const DayNumber first_of_2060 = date_pack(2060, 1, 1);
    return day >= first_of_2060 ? date_format(day, kMMDDCCYYSep, '/') : quote_date_text(day);
}

// The shortest text that reads back to the same single-precision value.
char* put_shortest(char* out, float value) {
    const std::to_chars_result written = std::to_chars(out, out + kFloatFixedTextMax, value);
    return written.ec == std::errc() ? written.ptr : out;
}

char* put_text(char* out, const std::string& text) {
    return std::copy_n(text.begin(), std::min(text.size(), kTextRoom), out);
}

// Appends the rows of the file to a text; each cell keeps its value until a value of 0 or more replaces
// it (the same value gives the same text, so it is formatted again rather than kept as text).
class RowWriter {
public:
    RowWriter(const RowShape& shape, std::string& out, const CarriedValues& carried = {})
        : options_(shape.options), time_column_(shape.time_column), ticker_(shape.ticker),
          delimiter_(export_delimiter_char(options_.delimiter)), out_(out), last_(carried) {}

    void title() {
        std::string row = options_.ticker ? std::string("TICKER") + delimiter_ : std::string();
        row += "DATE";
        if (time_column_) {
            row += delimiter_;
            row += "Time";
        }
        for (int c = 0; c < kExportColumns; ++c) {
            if (!options_.omit[c]) {
                row += delimiter_;
                row += kTitles[c];
            }
        }
        row += '\n';
        out_ += row;
    }

    void bar(const ExportBar& bar) {
        // A row is put together in a buffer with room for its longest form: the date, then six
        // delimiters and values.
        char row[kRowRoom];
        char* end = row;
        if (options_.ticker) {
            end = put_text(end, ticker_);
            *end++ = delimiter_;
        }
        end = put_text(end, export_date_text(bar.date));
        if (time_column_) {
            *end++ = delimiter_;
            end = put_text(end, quote_time_text(bar.time));
        }
        for (int c = 0; c < kExportColumns; ++c) {
            const float value = bar.values[static_cast<std::size_t>(c)];
            if (value >= 0.0f) {
                last_[c] = value;
            }
            if (!options_.omit[c]) {
                *end++ = delimiter_;
                if (last_[c]) {
                    end = options_.full_precision ? put_shortest(end, *last_[c])
                                                  : put_fixed(end, *last_[c], kPrecision[c]);
                } else {
                    end = std::copy_n("N/A", 3, end);
                }
            }
        }
        *end++ = '\n';
        out_.append(row, static_cast<std::size_t>(end - row));
    }

private:
    const ExportOptions& options_;
    bool time_column_;
    std::string ticker_;
    char delimiter_;
    std::string& out_;
    CarriedValues last_;
};

// Reads the security window by window, oldest or newest first, and hands on one bar at a time.
class BarStream {
public:
    BarStream(QuoteSeries& series, const SeriesLocation& at, std::string_view symbol, std::int32_t total)
        : series_(series), at_(at), symbol_(symbol), total_(total) {}

    StatusCode read_status() const { return read_status_; }

    // Hands on the bars window by window, in the order of the file's rows. False when a window cannot
    // be read or `on_window` returns false.
    template <typename OnWindow> bool each_window(bool newest_first, OnWindow on_window) {
        std::int32_t done = 0;
        while (done < total_) {
            const auto n = static_cast<std::int16_t>(std::min<std::int32_t>(kExportWindow, total_ - done));
            const std::int32_t start = newest_first ? total_ - done - n : done;
            if (!read_window(start, n)) {
                return false;
            }
            std::vector<ExportBar> window;
            window.reserve(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) {
                window.push_back(bar_at(newest_first ? n - 1 - k : k));
            }
            if (!on_window(std::move(window))) {
                return false;
            }
            done += n;
        }
        return true;
    }

private:
    bool read_window(std::int32_t start, std::int16_t n) {
        read_status_ = series_read_at(series_, at_, symbol_, start, n);
        // A file that holds fewer bars than its header announces is damaged: no row from a stale buffer.
        if (read_status_ == status::kOk && series_.count != n) {
            read_status_ = status::kFileRead;
        }
        return read_status_ == status::kOk;
    }

    ExportBar bar_at(int i) const {
        ExportBar bar;
        bar.date = series_.date(i);
        bar.time = series_.time(i);
        for (int c = 0; c < kExportColumns; ++c) {
            bar.values[static_cast<std::size_t>(c)] = series_.value(kFields[c], i);
        }
        return bar;
    }

    QuoteSeries& series_;
    const SeriesLocation& at_;
    std::string_view symbol_;
    std::int32_t total_;
    StatusCode read_status_ = status::kOk;
};

bool reserved_on_windows(const std::string& name) {
    static const char* const kReserved[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                            "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                            "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    const std::string stem = portfolio_files::to_upper(name.substr(0, name.find('.')));
    return std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* r) { return stem == r; });
}

bool safe_byte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

} // namespace

char export_delimiter_char(int delimiter) {
    switch (delimiter) {
    case 1:
        return ',';
    case 2:
        return '\t';
    default:
        return ' ';
    }
}

CommandResult check_text_target(const std::filesystem::path& file) {
    // The temporary copy is created (and emptied) at its own name first: that must be a plain file too.
    for (const std::filesystem::path& path : {file, temporary_for(file)}) {
        switch (portfolio_files::text_target(path)) {
        case portfolio_files::TextTarget::Free:
            continue;
        case portfolio_files::TextTarget::PortfolioFile:
            return CommandResult::failure("The file\n" + path.string() +
                                          "\nbelongs to a portfolio: a text result never replaces it.");
        case portfolio_files::TextTarget::NotRegular:
            return CommandResult::failure("The file\n" + path.string() +
                                          "\nis not a regular file (a link, a folder, a device or a pipe): a "
                                          "text result only replaces a regular file.");
        case portfolio_files::TextTarget::Unknown:
            return CommandResult::failure("The file\n" + path.string() + "\ncannot be checked.");
        }
    }
    return CommandResult::success();
}

namespace {

// The title row of the file.
std::string title_text(const RowShape& shape) {
    std::string text;
    RowWriter(shape, text).title();
    return text;
}

// The rows of bars read before, each column carrying on from `carried`; nothing when memory runs out.
std::optional<std::string> export_text(const std::vector<ExportBar>& bars, const RowShape& shape,
                                       const CarriedValues& carried, bool with_title) {
    try {
        std::string text = with_title ? title_text(shape) : std::string();
        text.reserve(text.size() + bars.size() * 64);
        RowWriter rows(shape, text, carried);
        for (const ExportBar& bar : bars) {
            rows.bar(bar);
        }
        return text;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

using PendingText = std::future<std::optional<std::string>>;

// The threads that format the texts of one export, each text as asked, in turn. With no thread (a
// series of one window, or when none can be started), or when the caller asks for it, a text is
// formatted at once on the calling thread.
class Formatters {
public:
    explicit Formatters(int threads) {
        try {
            for (int t = 0; t < threads; ++t) {
                workers_.emplace_back([this] { run(); });
            }
        } catch (const std::system_error&) {
            // The threads that did start are enough; with none, the caller's thread formats.
        }
    }
    ~Formatters() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
    }
    Formatters(const Formatters&) = delete;
    Formatters& operator=(const Formatters&) = delete;

    PendingText format(std::shared_ptr<const std::vector<ExportBar>> bars, const RowShape& shape,
                       const CarriedValues& carried, bool with_title, bool on_calling_thread = false) {
        Task task([bars = std::move(bars), shape, carried, with_title] {
            return export_text(*bars, shape, carried, with_title);
        });
        PendingText text = task.get_future();
        if (workers_.empty() || on_calling_thread) {
            task();
            return text;
        }
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
        return text;
    }

private:
    using Task = std::packaged_task<std::optional<std::string>()>;

    // Formats until the export ends and nothing is left to format.
    void run() {
        for (;;) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
                if (tasks_.empty()) {
                    return;
                }
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

// The security's rows, read afresh (so both orders cover the bars the file holds now).
class Exporter {
public:
    Exporter(const std::filesystem::path& dir, std::string_view symbol) : dir_(dir), symbol_(symbol) {}
    ~Exporter() { series_free(series_); }
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    // The bar count; a failure result when the security cannot be read.
    StatusCode open() {
        if (series_alloc(series_, kExportWindow) != status::kOk) {
            return status::kMalloc;
        }
        // The security is looked up once; each window then reads F<n>.DAT alone.
        const StatusCode status = series_locate(dir_, symbol_, at_);
        at_.keep_data_open();
        return status != status::kOk ? status : series_read_at(series_, at_, symbol_, 0, 0);
    }
    // The rows' make-up for this security (once it is open).
    RowShape shape(const ExportOptions& options) const {
        // The ticker is the whole symbol field (a symbol may hold blanks), as a look-up takes it.
        return row_shape(options, at_.layout.position[kFieldTime] != 0,
                         trim_trailing_blanks(master_field_view(at_.record, kMasterSymbolOffset)));
    }
    // The windows are formatted by turns on the formatting thread and on this one, at most
    // kFormattingAhead at once, while this thread reads the next window and writes the texts in order;
    // a series of one window is formatted here. Every file operation stays on this thread.
    bool write(fileops::BufferedWriter& out, const ExportOptions& options) {
        const RowShape shape = this->shape(options);
        const std::int32_t total = std::max<std::int32_t>(series_.total, 0);
        BarStream bars(series_, at_, symbol_, total);
        Formatters formatters(total > kExportWindow ? kFormattingThreads : 0);
        std::deque<PendingText> pending;
        CarriedValues carried{};
        bool format_here = false;
        auto write_oldest = [&] {
            const std::optional<std::string> text = pending.front().get();
            pending.pop_front();
            return text && out.write(*text);
        };
        bool ok = (!options.title || out.write(title_text(shape))) &&
                  bars.each_window(options.newest_first, [&](std::vector<ExportBar> window) {
                      if (pending.size() == kFormattingAhead && !write_oldest()) {
                          return false;
                      }
                      auto shared = std::make_shared<const std::vector<ExportBar>>(std::move(window));
                      format_here = !format_here;
                      pending.push_back(formatters.format(shared, shape, carried, false, !format_here));
                      carried = carried_after(*shared, carried);
                      return true;
                  });
        while (ok && !pending.empty()) {
            ok = write_oldest();
        }
        read_status_ = bars.read_status();
        return ok;
    }
    // Every bar in the order of the file's rows.
    bool read_all(std::vector<ExportBar>& out, bool newest_first) {
        BarStream bars(series_, at_, symbol_, std::max<std::int32_t>(series_.total, 0));
        out.reserve(static_cast<std::size_t>(std::max<std::int32_t>(series_.total, 0)));
        const bool ok = bars.each_window(newest_first, [&](std::vector<ExportBar> window) {
            out.insert(out.end(), window.begin(), window.end());
            return true;
        });
        read_status_ = bars.read_status();
        return ok;
    }
    StatusCode read_status() const { return read_status_; }

private:
    const std::filesystem::path& dir_;
    std::string_view symbol_;
    SeriesLocation at_;
    QuoteSeries series_;
    StatusCode read_status_ = status::kOk;
};

} // namespace

namespace {

CommandResult export_write_failure(int error) {
    CommandResult failure = CommandResult::failure(kExportError, status::kFileWrite);
    failure.error = error;
    return failure;
}

using Produce = std::function<bool(fileops::BufferedWriter&)>;

// Why the security cannot be exported to `file`, found before anything is written: a file that
// check_text_target refuses, or a security that cannot be read; nothing when the export can go on.
std::optional<CommandResult> export_refusal(const std::filesystem::path& file, Exporter& exporter) {
    if (CommandResult check = check_text_target(file); !check.ok) {
        return check;
    }
    if (const StatusCode status = exporter.open(); status != status::kOk) {
        return CommandResult{false, status, {}, {}};
    }
    return std::nullopt;
}

// Checks `file`, reads the security and has `write_file` write its rows as the new content of `file`
// through its temporary copy; the result says why when anything fails.
template <typename WriteFile>
CommandResult export_file(const std::filesystem::path& dir, std::string_view symbol,
                          const std::filesystem::path& file, const ExportOptions& options,
                          WriteFile write_file) {
    Exporter exporter(dir, symbol);
    if (std::optional<CommandResult> refused = export_refusal(file, exporter)) {
        return *refused;
    }
    const Produce produce = [&](fileops::BufferedWriter& out) { return exporter.write(out, options); };
    const bool written = write_file(file, temporary_for(file), produce);
    const int error = errno;
    if (written) {
        return CommandResult::success();
    }
    if (exporter.read_status() != status::kOk) {
        return CommandResult{false, exporter.read_status(), {}, {}};
    }
    return export_write_failure(error);
}

} // namespace

CommandResult export_quotes(const std::filesystem::path& dir, std::string_view symbol,
                            const std::filesystem::path& file, const ExportOptions& options) {
    return export_file(dir, symbol, file, options,
                       [](const std::filesystem::path& target, const std::filesystem::path& temp,
                          const Produce& produce) { return fileops::replace_file(target, temp, produce); });
}

CommandResult export_quotes_to(const std::filesystem::path& dir, std::string_view symbol,
                               fileops::BufferedWriter& out, const ExportOptions& options) {
    Exporter exporter(dir, symbol);
    if (const StatusCode status = exporter.open(); status != status::kOk) {
        return CommandResult{false, status, {}, {}};
    }
    errno = 0;
    if (exporter.write(out, options) && out.flush()) {
        return CommandResult::success();
    }
    if (exporter.read_status() != status::kOk) {
        return CommandResult{false, exporter.read_status(), {}, {}};
    }
    CommandResult failure = CommandResult::failure(kExportError, status::kFileWrite);
    failure.error = errno;
    return failure;
}

std::vector<LogEntry> export_settings_entries(const std::string& path_text, const ExportOptions& options) {
    const char* const omit_keys[kExportColumns] = {"OmitOpen",  "OmitHigh", "OmitLow",
                                                   "OmitClose", "OmitVol",  "OmitOI"};
    std::vector<LogEntry> entries{{"XportSel", "Starter", path_text}};
    for (int c = 0; c < kExportColumns; ++c) {
        entries.push_back({"XportSel", omit_keys[c], options.omit[c] ? "1" : "0"});
    }
    entries.push_back({"XportSel", "Delim", std::to_string(options.delimiter)});
    entries.push_back({"XportSel", "Newest", options.newest_first ? "1" : "0"});
    entries.push_back({"XportSel", "Title", options.title ? "1" : "0"});
    return entries;
}

std::string export_replace_question(const std::string& path_text) {
    return path_text + "\nThis file already exists\n\nReplace existing file?";
}

std::string export_safe_name(std::string_view symbol) {
    std::string name;
    for (char c : symbol) {
        name.push_back(safe_byte(c) ? c : '_');
    }
    if (name.empty()) {
        return "_";
    }
    if (name[0] == '.' || name[0] == '-') {
        name[0] = '_';
    }
    if (reserved_on_windows(name)) {
        name.insert(0, "_");
    }
    return name;
}

std::vector<std::string> export_all_file_names(const std::vector<ExportTarget>& targets) {
    std::vector<std::string> stems;
    std::map<std::string, int> uses;
    for (const ExportTarget& target : targets) {
        stems.push_back(export_safe_name(target.symbol));
        ++uses[portfolio_files::to_upper(stems.back())];
    }
    // Safe names hold no '~', so a stem with "~<number>" cannot meet a plain one.
    std::map<std::string, int> numbered_uses;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (uses[portfolio_files::to_upper(stems[i])] > 1) {
            stems[i] += "~" + std::to_string(targets[i].file_number);
            ++numbered_uses[portfolio_files::to_upper(stems[i])];
        }
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        std::string name = stems[i];
        if (numbered_uses.count(portfolio_files::to_upper(name)) &&
            numbered_uses[portfolio_files::to_upper(name)] > 1) {
            name += "~" + std::to_string(i + 1);
        }
        names.push_back(name + ".txt");
    }
    return names;
}

namespace {

// One security of export-all: its bars read and their text on the way, or why it cannot be exported.
struct PreparedExport {
    CommandResult failure = CommandResult::success();
    PendingText text; // valid when the file can be written
};

PreparedExport prepare_export(Formatters& formatters, const std::filesystem::path& dir,
                              std::string_view symbol, const std::filesystem::path& file,
                              const ExportOptions& options) {
    PreparedExport prepared;
    Exporter exporter(dir, symbol);
    if (std::optional<CommandResult> refused = export_refusal(file, exporter)) {
        prepared.failure = *refused;
        return prepared;
    }
    auto bars = std::make_shared<std::vector<ExportBar>>();
    if (!exporter.read_all(*bars, options.newest_first)) {
        prepared.failure = CommandResult{false, exporter.read_status(), {}, {}};
        return prepared;
    }
    prepared.text = formatters.format(bars, exporter.shape(options), {}, options.title);
    return prepared;
}

CommandResult write_prepared(fileops::ReplaceBatch& batch, const std::filesystem::path& file,
                             const std::optional<std::string>& text) {
    if (!text) {
        return CommandResult::failure(kExportError, status::kMalloc);
    }
    if (!batch.add(file, temporary_for(file),
                   [&](fileops::BufferedWriter& out) { return out.write(*text); })) {
        return export_write_failure(errno);
    }
    return CommandResult::success();
}

} // namespace

CommandResult export_portfolio(const std::filesystem::path& dir, const std::filesystem::path& out_dir,
                               const ExportOptions& options) {
    // The portfolio's directory and directory files are read once for all its securities.
    fileops::OperationScope scope;
    const SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
    if (!listing.result.ok) {
        return listing.result;
    }
    std::vector<ExportTarget> targets;
    for (const SymbolRow& row : listing.rows) {
        targets.push_back({std::string(row.symbol()), row.file_number()});
    }
    const std::vector<std::string> names = export_all_file_names(targets);
    // Each file is all or nothing, but the batch pays for its syncs once, at its end. A security is
    // read here while the one before is formatted on another thread, and the one before is written
    // while this one is formatted.
    fileops::ReplaceBatch batch;
    std::vector<CommandResult> outcomes(targets.size());
    std::vector<std::size_t> added;
    Formatters formatters(kFormattingThreads);
    auto prepare = [&](std::size_t i) {
        return i < targets.size()
                   ? prepare_export(formatters, dir, targets[i].symbol, out_dir / names[i], options)
                   : PreparedExport{};
    };
    PreparedExport current = prepare(0);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        PreparedExport next = prepare(i + 1);
        outcomes[i] = current.text.valid() ? write_prepared(batch, out_dir / names[i], current.text.get())
                                           : current.failure;
        if (outcomes[i].ok) {
            added.push_back(i);
        }
        current = std::move(next);
    }
    const std::vector<int> errors = batch.commit();
    for (std::size_t k = 0; k < added.size(); ++k) {
        if (errors[k] != 0) {
            outcomes[added[k]] = export_write_failure(errors[k]);
        }
    }
    CommandResult result = CommandResult::success();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const CommandResult& one = outcomes[i];
        if (!one.ok) {
            result.ok = false;
            result.status = one.status;
            const std::string reason =
                one.messages.empty() ? status_text(one.status) : one.messages.front().text;
            result.add(MessageKind::Error, targets[i].symbol + ": " + reason);
        }
    }
    return result;
}
