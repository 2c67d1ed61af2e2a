// Names of the files of a portfolio, matched against the directory ignoring letter case.
//
// Portfolios come with upper-case names (MASTER, F1.DAT) or lower-case ones (master, f1.dat). On a
// file system that tells case apart, a name is looked up exactly first, then in upper and lower case,
// and finally against every entry of the directory ignoring case. A file made new takes the case the
// portfolio already uses: that of its MASTER file, upper case when there is nothing to follow.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace portfolio_files {

using Path = std::filesystem::path;

// "F%i.DAT" and friends for file number n ("DAT", "DOP", "BAK", "NEW"); "DAT" names F<n>.MWD for a
// number above 255, whose quotes are there.
std::string series_file_name(int file_number, std::string_view extension);

enum class Presence { Present, Absent, Unknown };

// Looks for the entry of `dir` named `name` ignoring case (the exact name is preferred). `found` is its
// path, or dir / `name` when it is absent. Unknown when the file system could not answer (a failed
// look-up is never taken for "absent", so that nothing is overwritten by mistake).
Presence lookup(const Path& dir, std::string_view name, Path& found);

// The path of the existing entry of `dir` whose name equals `name` ignoring case (the exact name is
// preferred). When there is none, dir / `name` as given.
Path existing(const Path& dir, std::string_view name);

// True when an entry of that name (ignoring case) exists in `dir`.
bool present(const Path& dir, std::string_view name);

// The path to use for a file to be created in `dir`: an existing entry of that name (ignoring case)
// when there is one, otherwise the name in the case that the portfolio's MASTER file uses.
Path for_writing(const Path& dir, std::string_view name);

// The portfolio's MASTER file (existing name, or dir / "MASTER").
Path master(const Path& dir);

// The series files of file number n in `dir`.
Path series_file(const Path& dir, int file_number, std::string_view extension);
Path series_file_for_writing(const Path& dir, int file_number, std::string_view extension);

// True for the name of a file that belongs to a portfolio, in any letter case: MASTER, EMASTER, XMASTER,
// F<n>.DAT, F<n>.DOP, F<n>.MWD, F<n>.BAK, F<n>.NEW, and any of them followed by the suffixes of backups
// and temporary copies (.BAK, .NEW, .~NU, .TMP). Trailing dots and blanks, which some file systems drop,
// do not hide a name.
bool is_portfolio_file_name(std::string_view name);

// What stands at a path that a text result (an export, the split-search lines) would replace.
enum class TextTarget {
    Free,          // nothing, or a regular file of no portfolio: it may be written
    PortfolioFile, // a file of a portfolio, whatever the spelling of its name
    NotRegular,    // a symbolic link, a directory, a device, a pipe
    Unknown,       // the file system could not say
};
TextTarget text_target(const Path& path);

// ASCII comparisons used throughout the layer.
bool equals_ignoring_case(std::string_view a, std::string_view b);
std::string to_upper(std::string_view text);
std::string to_lower(std::string_view text);

} // namespace portfolio_files
