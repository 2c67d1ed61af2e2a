#include "editing/symbol_commands.h"

#include "browser/symbol_list.h"

namespace editing {

namespace {

std::string quoted_path(const std::filesystem::path& path) {
    return path.string();
}

CommandResult unreadable_master(const std::filesystem::path& master_path) {
    return CommandResult::failure("The portfolio file\n" + quoted_path(master_path) +
                                  "\ncannot be read. Nothing was changed.");
}

CommandResult symbol_not_found(std::string_view row_symbol, const std::filesystem::path& master_path) {
    return CommandResult::failure("Symbol " + std::string(row_symbol) + " was not found in\n" +
                                  quoted_path(master_path) + "\nNothing was changed.");
}

// Finds the selected row's record: its file number, or a failure to return.
bool locate_row_record(const std::filesystem::path& master_path, std::string_view row_symbol,
                       int& file_number, CommandResult& failure) {
    MasterImage image;
    if (!master_read_image(master_path, image)) {
        failure = unreadable_master(master_path);
        return false;
    }
    int index = find_symbol_record(image, row_symbol);
    if (index < 0) {
        failure = symbol_not_found(row_symbol, master_path);
        return false;
    }
    file_number = image.record(index).file_number();
    return true;
}

} // namespace

int find_symbol_record(const MasterImage& image, std::string_view row_symbol) {
    int counted = image.records_counted();
    for (int index = 0; index < counted; ++index) {
        MasterRecord record = image.record(index);
        if (!master_is_directory_entry(record) && master_symbol_text(record) == row_symbol)
            return index;
    }
    return -1;
}

CommandResult check_edit_symbol_input(std::string_view new_symbol) {
    if (new_symbol.empty())
        return CommandResult::failure("You must enter a symbol", 0, MessageKind::Warning);
    return CommandResult::success();
}

CommandResult edit_symbol(const ViewState& view, std::string_view row_symbol, std::string_view new_symbol,
                          std::string_view new_name) {
    const std::filesystem::path& master_path = view.masterPath;
    CommandResult check = check_edit_symbol_input(new_symbol);
    if (!check.ok)
        return check;
    int file_number = 0;
    CommandResult failure;
    if (!locate_row_record(master_path, row_symbol, file_number, failure))
        return failure;
    if (master_set_names(master_path, file_number, new_symbol, new_name) != 0)
        return CommandResult::failure(
            "Renaming symbol " + std::string(row_symbol) + " failed.\nThe portfolio was not changed.", 1);
    return CommandResult::success();
}

CommandResult delete_symbol(const ViewState& view, std::string_view row_symbol) {
    int file_number = 0;
    CommandResult failure;
    if (!locate_row_record(view.masterPath, row_symbol, file_number, failure))
        return failure;
    int result = master_remove(view.portfolioDir, file_number, true);
    if (result == 3)
        return CommandResult::failure("Symbol " + std::string(row_symbol) +
                                          " was removed, but not all of its files could be deleted.",
                                      result, MessageKind::Warning);
    if (result != 0)
        return CommandResult::failure("Deleting symbol " + std::string(row_symbol) +
                                          " failed.\nThe portfolio was not changed.",
                                      result);
    return CommandResult::success();
}

} // namespace editing
