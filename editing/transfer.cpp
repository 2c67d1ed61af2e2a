#include "editing/transfer.h"

#include "common/repair.h"
#include "common/symbol_list.h"
#include "storage/directory.h"
#include "storage/emaster.h"
#include "storage/fileops.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace editing {

namespace {

using Path = std::filesystem::path;

struct TransferRequest {
    TransferMode mode;
    const Path& portfolio_dir;
    std::string_view symbol;
    const Path& destination;
};

constexpr const char* kPortfolioFull = "The portfolio already has the\nmaximum number of symbols (255).\n"
                                       "Choose a different or new portfolio.";
constexpr const char* kNothingChanged = "\nNothing was changed.";

using portfolio_files::Presence;

Presence find_entry(const Path& dir, const std::string& name, Path& found) {
    return portfolio_files::lookup(dir, name, found);
}

// True when both files can be read and hold the same bytes.
bool same_content(const Path& a, const Path& b) {
    fileops::FileStat sa = fileops::stat(a);
    fileops::FileStat sb = fileops::stat(b);
    if (!sa.is_regular || !sb.is_regular || sa.size != sb.size)
        return false;
    std::string bytes_a, bytes_b;
    return fileops::read_file(a, bytes_a) && fileops::read_file(b, bytes_b) && bytes_a == bytes_b;
}

std::string trimmed_upper_key(std::string_view symbol) {
    std::size_t first = symbol.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    std::size_t last = symbol.find_last_not_of(' ');
    return portfolio_files::to_upper(symbol.substr(first, last - first + 1));
}

// The order of the steps keeps one promise at every instant, even when the process dies between two
// of them: every MASTER record points to complete files. The files are copied to the destination
// first, then its record is added; a move removes the source record before it deletes the source
// files. A move never renames a file out of the source, so the source record stays valid until it is
// gone. What a killed run can leave behind is a file no record points to, never a record without
// its file.
class Transfer {
public:
    explicit Transfer(const TransferRequest& request) : request_(request) {}
    CommandResult run();

private:
    bool is_move() const { return request_.mode == TransferMode::Move; }
    std::string dest_text() const { return request_.destination.string(); }

    bool find_source();
    bool check_source_files();
    bool check_destination();
    bool check_target_free(const Path& source, bool source_present, std::string_view extension);
    bool heal_directories();
    bool copy_files();
    bool copy_failed(const Path& source, const Path& target);
    bool append();
    bool remove_source_record();
    void delete_source_files();
    bool undo();
    // Records a failure; the system's own texts (`own_text` false) are shown exactly as they are.
    bool fail(std::string message, bool own_text = true);

    const TransferRequest& request_;
    CommandResult result_;
    std::string key_;
    MasterRecord record_;
    Path source_dir_;
    int source_number_ = 0;
    Path source_dat_;
    Path source_dop_;
    bool has_dop_ = false;
    int dest_number_ = 0; // m: the lowest free number of the destination, the copies' number
    bool appended_ = false;
    int appended_number_ = 0;                // the number the destination's MASTER gave the record
    std::vector<Path> copied_;               // files made in the destination, in the order made
    std::vector<std::string> emaster_notes_; // unusable EMASTER files left as they were
    CommandResult heal_notes_;               // EMASTER files rebuilt before the transfer
    bool own_text_ = true;
};

bool Transfer::fail(std::string message, bool own_text) {
    result_.ok = false;
    own_text_ = own_text;
    result_.add(MessageKind::Error, std::move(message));
    return false;
}

// The security `symbol` names, looked up by master_find; its record is taken with its dates back in MBF.
bool Transfer::find_source() {
    key_ = trimmed_upper_key(request_.symbol);
    Path found_dir;
    StatusCode status = master_find(request_.portfolio_dir, key_, record_, found_dir);
    if (status != 0) {
        result_.status = status;
        return fail("Symbol " + key_ + " was not found in\n" + request_.portfolio_dir.string());
    }
    if (record_.in_xmaster())
        return fail("Symbol " + key_ +
                    " is listed in the portfolio's XMASTER file. Moving or copying such "
                    "a security to another portfolio is not possible yet.");
    record_.dates_to_mbf();
    // A security found in a nested portfolio lives there, with its files.
    source_dir_ = found_dir.empty() ? request_.portfolio_dir : found_dir;
    source_number_ = record_.file_number();
    // A move rewrites the source's MASTER: never a damaged one.
    if (is_move()) {
        CommandResult check = check_master_writable(portfolio_files::master(source_dir_));
        if (!check.ok)
            return fail(check.messages.front().text);
    }
    return true;
}

bool Transfer::check_source_files() {
    std::string dat_name = portfolio_files::series_file_name(source_number_, "DAT");
    if (find_entry(source_dir_, dat_name, source_dat_) != Presence::Present ||
        !fileops::open_read(source_dat_).is_open())
        return fail("The quote file\n" + source_dat_.string() + "\ncannot be read.");
    Presence dop =
        find_entry(source_dir_, portfolio_files::series_file_name(source_number_, "DOP"), source_dop_);
    if (dop == Presence::Unknown)
        return fail("The file\n" + source_dop_.string() + "\ncannot be checked.");
    has_dop_ = dop == Presence::Present;
    return true;
}

// F<m>.DAT or F<m>.DOP must not exist in the destination: no record points to such a file, but it may
// be someone's data. The one exception is a file that holds exactly what would be copied there, as a
// transfer of this security that was cut short leaves it: writing the same bytes again loses nothing.
bool Transfer::check_target_free(const Path& source, bool source_present, std::string_view extension) {
    Path found;
    Presence presence =
        find_entry(request_.destination, portfolio_files::series_file_name(dest_number_, extension), found);
    if (presence == Presence::Unknown)
        return fail("The file\n" + found.string() + "\ncannot be checked.");
    if (presence == Presence::Present && !(source_present && same_content(source, found)))
        return fail("The file\n" + found.string() + "\nalready exists.");
    return true;
}

// Everything about the destination that can be known before it changes.
bool Transfer::check_destination() {
    Path master_path = portfolio_files::master(request_.destination);
    MasterImage image;
    if (!master_read_image(master_path, image))
        return fail("The portfolio file\n" + master_path.string() + "\ncannot be read.");
    if (CommandResult check = check_master_writable(master_path); !check.ok)
        return fail(check.messages.front().text);
    std::string duplicate =
        "The Symbol addition failed.\n\nReason: Symbol " + key_ + " already exists in\n" + dest_text();
    for (int i = 0; i < image.records_counted(); ++i) {
        MasterRecord record = image.record(i);
        if (!master_is_directory_entry(record) && master_key_matches(record, key_))
            return fail(duplicate, false);
    }
    MasterRecord found;
    Path found_dir;
    StatusCode status = master_find(request_.destination, key_, found, found_dir);
    if (status == 0)
        return fail(duplicate, false);
    if (status != status::kFileNotFound) {
        result_.status = status;
        return fail("The portfolios in\n" + dest_text() + "\ncannot be searched.");
    }
    dest_number_ = lowest_free_number(image);
    if (image.header.count() >= kMaxSecurities || dest_number_ == 0)
        return fail(kPortfolioFull, false);
    return check_target_free(source_dat_, true, "DAT") && check_target_free(source_dop_, has_dop_, "DOP");
}

// The portfolios the transfer writes (the destination, and the source of a move) first get an EMASTER
// that agrees with their MASTER.
bool Transfer::heal_directories() {
    std::vector<Path> dirs{request_.destination};
    if (is_move())
        dirs.push_back(source_dir_);
    for (const Path& dir : dirs) {
        if (!heal_before_change(dir, heal_notes_)) {
            const std::string text = heal_notes_.messages.back().text;
            heal_notes_.messages.pop_back();
            result_.error = heal_notes_.error;
            return fail(text, false);
        }
    }
    return true;
}

// Copies the series files to the destination as F<m>.DAT and F<m>.DOP, each through a temporary name
// in the destination's letter case, so a target is complete the moment it appears. The copies are
// written, synced and renamed as one batch: the destination directory is synced once for both.
bool Transfer::copy_files() {
    std::vector<std::pair<Path, std::string_view>> sources{{source_dat_, "DAT"}};
    if (has_dop_)
        sources.emplace_back(source_dop_, "DOP");
    fileops::ReplaceBatch batch;
    std::vector<Path> targets;
    for (const auto& [source, extension] : sources) {
        const std::string name = portfolio_files::series_file_name(dest_number_, extension);
        Path target = portfolio_files::for_writing(request_.destination, name);
        if (!batch.add_copy(target, portfolio_files::for_writing(request_.destination, name + ".TMP"),
                            source))
            return copy_failed(source, target);
        targets.push_back(target);
    }
    const std::vector<int> errors = batch.commit();
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (errors[i] == 0)
            copied_.push_back(targets[i]); // in place: the undo takes it away again
    }
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (errors[i] != 0) {
            errno = errors[i];
            return copy_failed(sources[i].first, targets[i]);
        }
    }
    return true;
}

bool Transfer::copy_failed(const Path& source, const Path& target) {
    result_.error = errno;
    return fail("Copying\n" + source.string() + "\nto\n" + target.string() + "\nfailed.");
}

// Adds the record once its files are in place. MASTER chooses the number itself; should it choose
// another than the one the files were copied under (the portfolio changed meanwhile), the record is
// taken out again at once.
bool Transfer::append() {
    // The destination's EMASTER gets the source's record of the security when there is one.
    EmasterRecord extended;
    const EmasterState source_extended = emaster_find(source_dir_, source_number_, extended);
    if (source_extended == EmasterState::Unreadable) {
        result_.error = errno;
        return fail("The directory files of\n" + source_dir_.string() + "\ncannot be read.");
    }
    const bool has_extended = source_extended == EmasterState::Usable;
    std::string note;
    int result = master_append(request_.destination, record_, appended_number_,
                               has_extended ? &extended : nullptr, &note);
    if (!note.empty())
        emaster_notes_.push_back(note);
    if (result == 2)
        return fail(kPortfolioFull, false);
    if (result != 0) {
        result_.status = result;
        result_.error = errno;
        return fail("Adding symbol " + key_ + " to\n" + dest_text() + "\nfailed.");
    }
    appended_ = true;
    if (appended_number_ != dest_number_)
        return fail("Adding symbol " + key_ + " to\n" + dest_text() + "\nfailed: the portfolio changed.");
    return true;
}

bool Transfer::remove_source_record() {
    std::string note;
    int result = master_remove(source_dir_, source_number_, false, &note);
    if (!note.empty())
        emaster_notes_.push_back(note);
    if (result == 0)
        return true;
    result_.status = result;
    result_.error = errno;
    return fail("Removing symbol " + key_ + " from\n" + source_dir_.string() + "\nfailed.");
}

// The move is complete: no record points to the source's files any more, so they and the backup go.
// A file that cannot be deleted only stays behind; no data depends on it.
void Transfer::delete_source_files() {
    std::vector<Path> leftovers{source_dat_};
    if (has_dop_)
        leftovers.push_back(source_dop_);
    Path bak;
    Presence bak_presence =
        find_entry(source_dir_, portfolio_files::series_file_name(source_number_, "BAK"), bak);
    if (bak_presence == Presence::Present)
        leftovers.push_back(bak);
    std::vector<Path> stuck;
    if (bak_presence == Presence::Unknown)
        stuck.push_back(bak); // whether a backup is there cannot be told, so it may well be left
    for (const Path& path : leftovers) {
        if (!fileops::remove_if_exists(path))
            stuck.push_back(path);
    }
    for (const Path& path : stuck)
        result_.add(MessageKind::Warning,
                    "The symbol was moved, but\n" + path.string() + "\ncould not be deleted.");
}

// Puts both portfolios back as they were: the destination record first, then the copies. A copy
// stays when the record that points to it could not be taken out. False when that was not wholly
// possible.
bool Transfer::undo() {
    std::vector<std::string> stuck;
    if (appended_ && master_remove(request_.destination, appended_number_, false) != 0) {
        stuck.push_back("the symbol's record is still in " + dest_text());
        if (appended_number_ == dest_number_)
            copied_.clear();
    }
    for (auto it = copied_.rbegin(); it != copied_.rend(); ++it) {
        if (!fileops::remove_if_exists(*it))
            stuck.push_back(it->string() + " is left over");
    }
    if (stuck.empty())
        return true;
    std::string text = "The transfer could not be undone completely:";
    for (const std::string& item : stuck)
        text += "\n" + item;
    result_.add(MessageKind::Error, text);
    return false;
}

CommandResult Transfer::run() {
    if (request_.destination.empty())
        return CommandResult{};
    bool done = find_source() && check_source_files() && check_destination() && heal_directories() &&
                copy_files() && append() && (!is_move() || remove_source_record());
    if (!done) {
        if (undo() && own_text_ && !result_.messages.empty())
            result_.messages.front().text += kNothingChanged;
        return with_notes(heal_notes_, result_);
    }
    result_.ok = true;
    result_.status = 0;
    for (const std::string& note : emaster_notes_)
        result_.add(MessageKind::Warning, note);
    if (is_move())
        delete_source_files();
    return with_notes(heal_notes_, result_);
}

} // namespace

std::vector<std::string> destination_choices(const std::vector<std::string>& portfolios, int selected_index) {
    std::vector<std::string> choices;
    for (std::size_t i = 0; i < portfolios.size(); ++i) {
        if (static_cast<int>(i) != selected_index)
            choices.push_back(portfolios[i]);
    }
    // Ignoring letter case, as the portfolio list sorts them; the exact text decides between equals.
    std::stable_sort(choices.begin(), choices.end(), [](const std::string& a, const std::string& b) {
        const std::string upper_a = portfolio_files::to_upper(a), upper_b = portfolio_files::to_upper(b);
        return upper_a != upper_b ? upper_a < upper_b : a < b;
    });
    return choices;
}

CommandResult transfer_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                              TransferMode mode, const std::filesystem::path& destination) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    const TransferRequest request{mode, portfolio_dir, symbol, destination};
    return Transfer(request).run();
}

} // namespace editing
