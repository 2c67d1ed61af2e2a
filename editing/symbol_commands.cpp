#include "editing/symbol_commands.h"

#include "common/latin1.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "common/symbol_text.h"
#include "editing/quote_commands.h"
#include "editing/value_text.h"
#include "storage/directory.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace editing {

namespace {

std::string quoted_path(const std::filesystem::path& path) {
    return path.string();
}

CommandResult unreadable_master(const std::filesystem::path& master_path) {
    return CommandResult::failure("The portfolio file\n" + quoted_path(master_path) +
                                  "\ncannot be read. Nothing was changed.");
}

// A symbol that may stand in an XMASTER that cannot be read says why that file was not changed.
CommandResult symbol_not_found(std::string_view symbol, const std::filesystem::path& master_path) {
    CommandResult failure = CommandResult::failure("Symbol " + std::string(symbol) + " was not found in\n" +
                                                   quoted_path(master_path) + "\nNothing was changed.");
    if (std::string notice = xmaster_notice(master_path.parent_path()); !notice.empty())
        failure.add(MessageKind::Error, notice);
    return failure;
}

// Finds the record of the security `symbol`: its file number, or a failure to return.
bool locate_symbol_record(const std::filesystem::path& master_path, std::string_view symbol, int& file_number,
                          CommandResult& failure) {
    failure = check_master_writable(master_path);
    if (!failure.ok)
        return false;
    MasterImage image;
    if (!master_read_image(master_path, image)) {
        failure = unreadable_master(master_path);
        return false;
    }
    int index = find_symbol_record(image, symbol);
    if (index < 0) {
        failure = symbol_not_found(symbol, master_path);
        return false;
    }
    file_number = image.record(index).file_number();
    return true;
}

// The index of a counted security record other than `self` that a lookup by `key` would also find (its
// symbol or its name matches, ignoring case); -1 when none does.
int record_answering_to(const MasterImage& image, std::string_view key, int self) {
    for (int index = 0; index < image.records_counted(); ++index) {
        MasterRecord record = image.record(index);
        if (index != self && !master_is_directory_entry(record) && master_key_matches(record, key))
            return index;
    }
    return -1;
}

// True when a security of XMASTER other than number `self` answers to the key.
bool xmaster_answers_to(const std::filesystem::path& dir, std::string_view key, int self) {
    for (const XmasterSecurity& security : xmaster_read(dir)) {
        if (security.record.file_number() != self && master_key_matches(security.record, key))
            return true;
    }
    return false;
}

// The number of the XMASTER security whose symbol text is `symbol`, when no MASTER record has that
// symbol text; 0 otherwise.
int xmaster_number(const std::filesystem::path& master_path, std::string_view symbol) {
    MasterImage image;
    if (!master_read_image(master_path, image) || find_symbol_record(image, symbol) >= 0)
        return 0;
    for (const XmasterSecurity& security : xmaster_read(master_path.parent_path())) {
        if (master_symbol_text(security.record) == symbol)
            return security.record.file_number();
    }
    return 0;
}

CommandResult xmaster_outcome(const std::filesystem::path& dir, int result, std::string what,
                              std::string_view symbol) {
    if (result == 0)
        return CommandResult::success();
    if (result == 3)
        return CommandResult::failure("Symbol " + std::string(symbol) +
                                          " was removed, but not all of its files could be deleted.",
                                      result, MessageKind::Warning);
    CommandResult failed = CommandResult::failure(
        what + " symbol " + std::string(symbol) + " failed.\nThe portfolio was not changed.", result);
    failed.error = errno;
    if (std::string notice = xmaster_notice(dir); !notice.empty()) // it became unusable meanwhile
        failed.add(MessageKind::Error, notice);
    return failed;
}

// A command that changed MASTER says once when it left an unusable EMASTER as it was.
CommandResult with_note(CommandResult result, const std::string& emaster_note) {
    if (!emaster_note.empty())
        result.add(MessageKind::Warning, emaster_note);
    return result;
}

// Input refused before anything was tried.
CommandResult refused(std::string message) {
    return CommandResult::failure(std::move(message), 0, MessageKind::Warning);
}

CommandResult symbol_taken(const std::string& symbol, const std::filesystem::path& master_path) {
    return refused("Symbol " + symbol + " already belongs to another security of\n" +
                   quoted_path(master_path) + "\nNothing was changed.");
}

// A text as the 16 bytes of a MASTER field hold it: padded with blanks.
std::string padded(const std::string& text) {
    std::string field = text;
    field.resize(16, ' ');
    return field;
}

// check_symbol_free on the portfolio whose MASTER is `master_path`.
CommandResult symbol_free(const std::filesystem::path& master_path, std::string_view symbol,
                          std::string_view new_symbol_text) {
    const std::optional<std::string> new_symbol = latin1_from_utf8(new_symbol_text);
    if (!new_symbol)
        return CommandResult::success(); // check_symbol_text refuses it
    MasterImage image;
    if (!master_read_image(master_path, image))
        return unreadable_master(master_path);
    const int number = xmaster_number(master_path, symbol);
    const int index = number != 0 ? -1 : find_symbol_record(image, symbol);
    if (number == 0 && index < 0)
        return CommandResult::success(); // the command says the security is not there
    if (record_answering_to(image, *new_symbol, index) >= 0 ||
        xmaster_answers_to(master_path.parent_path(), *new_symbol, number))
        return symbol_taken(*new_symbol, master_path);
    return CommandResult::success();
}

} // namespace

int find_symbol_record(const MasterImage& image, std::string_view symbol) {
    int counted = image.records_counted();
    for (int index = 0; index < counted; ++index) {
        MasterRecord record = image.record(index);
        if (!master_is_directory_entry(record) && master_symbol_text(record) == symbol)
            return index;
    }
    return -1;
}

CommandResult check_edit_symbol_input(std::string_view new_symbol) {
    if (new_symbol.empty())
        return CommandResult::failure("You must enter a symbol", 0, MessageKind::Warning);
    return check_symbol_text(new_symbol);
}

CommandResult check_symbol_free(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                                std::string_view new_symbol_text) {
    return symbol_free(portfolio_files::master(portfolio_dir), symbol, new_symbol_text);
}

CommandResult edit_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                          std::string_view new_symbol_text, std::string_view new_name_text) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    const std::filesystem::path master_path = portfolio_files::master(portfolio_dir);
    CommandResult check = check_edit_symbol_input(new_symbol_text);
    if (check.ok)
        check = check_name_text(new_name_text);
    if (!check.ok)
        return check;
    const std::string new_symbol = *latin1_from_utf8(new_symbol_text);
    const std::string new_name = *latin1_from_utf8(new_name_text);
    const std::filesystem::path dir = master_path.parent_path();
    if (int number = xmaster_number(master_path, symbol); number != 0) {
        if (CommandResult taken = symbol_free(master_path, symbol, new_symbol_text); !taken.ok)
            return taken;
        CommandResult notes;
        if (!heal_before_change(dir, notes))
            return notes;
        errno = 0;
        return with_notes(notes, xmaster_outcome(dir, xmaster_set_names(dir, number, new_symbol, new_name),
                                                 "Renaming", symbol));
    }
    int file_number = 0;
    CommandResult failure;
    if (!locate_symbol_record(master_path, symbol, file_number, failure))
        return failure;
    MasterImage image;
    if (!master_read_image(master_path, image))
        return unreadable_master(master_path);
    int index = find_symbol_record(image, symbol);
    if (CommandResult taken = symbol_free(master_path, symbol, new_symbol_text); !taken.ok)
        return taken;
    MasterRecord record = image.record(index);
    if (record.symbol_bytes() == padded(new_symbol) && record.name_bytes() == padded(new_name)) {
        CommandResult same = CommandResult::success();
        same.add(MessageKind::Information, kNothingChanged);
        return same;
    }
    CommandResult notes;
    if (!heal_before_change(dir, notes))
        return notes;
    errno = 0;
    std::string emaster_note;
    if (master_set_names(master_path, file_number, new_symbol, new_name, &emaster_note) != 0) {
        CommandResult failed = CommandResult::failure(
            "Renaming symbol " + std::string(symbol) + " failed.\nThe portfolio was not changed.", 1);
        failed.error = errno;
        return with_notes(notes, failed);
    }
    return with_notes(notes, with_note(CommandResult::success(), emaster_note));
}

CommandResult delete_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    const std::filesystem::path master_path = portfolio_files::master(portfolio_dir);
    CommandResult notes;
    if (int number = xmaster_number(master_path, symbol); number != 0) {
        if (!heal_before_change(master_path.parent_path(), notes))
            return notes;
        errno = 0;
        return with_notes(notes, xmaster_outcome(master_path.parent_path(),
                                                 xmaster_remove(master_path.parent_path(), number, true),
                                                 "Deleting", symbol));
    }
    int file_number = 0;
    CommandResult failure;
    if (!locate_symbol_record(master_path, symbol, file_number, failure))
        return failure;
    if (!heal_before_change(master_path.parent_path(), notes))
        return notes;
    errno = 0;
    std::string emaster_note;
    int result = master_remove(portfolio_dir, file_number, true, &emaster_note);
    const int error = errno;
    if (result == 3)
        return with_notes(notes, with_note(CommandResult::failure(
                                               "Symbol " + std::string(symbol) +
                                                   " was removed, but not all of its files could be deleted.",
                                               result, MessageKind::Warning),
                                           emaster_note));
    if (result != 0) {
        CommandResult failed = CommandResult::failure(
            "Deleting symbol " + std::string(symbol) + " failed.\nThe portfolio was not changed.", result);
        failed.error = error;
        return with_notes(notes, failed);
    }
    return with_notes(notes, with_note(CommandResult::success(), emaster_note));
}

} // namespace editing
