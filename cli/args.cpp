#include "cli/args.h"

#include "editing/value_text.h"
#include "storage/display_text.h"

#include <algorithm>
#include <cctype>

bool parse_args(const std::vector<std::string>& words, const std::vector<std::string>& valued, Args& out,
                std::string& error) {
    out = Args{};
    bool options_done = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (options_done || word.size() < 2 || word[0] != '-' ||
            std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.') {
            out.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            options_done = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            out.help = true;
            continue;
        }
        std::string name = word.substr(0, word.find('='));
        if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
            if (name.size() < word.size()) {
                out.options[name] = word.substr(name.size() + 1);
            } else if (i + 1 < words.size()) {
                out.options[name] = words[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
        } else if (word.rfind("--", 0) == 0 && name == word) {
            out.options[word] = "";
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

namespace {

bool all_digits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// MM/DD/YY as it stands; MM/DD/YYYY and YYYY-MM-DD as the quote list shows that date (four year
// digits before 1960, two from 1960 to 2059); empty for anything else.
std::string canonical_date_text(const std::string& text) {
    if (text.size() == 8 && text[2] == '/' && text[5] == '/' && all_digits(text.substr(0, 2)) &&
        all_digits(text.substr(3, 2)) && all_digits(text.substr(6, 2)))
        return text;
    std::string year, month, day;
    if (text.size() == 10 && text[2] == '/' && text[5] == '/') {
        month = text.substr(0, 2), day = text.substr(3, 2), year = text.substr(6, 4);
    } else if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        year = text.substr(0, 4), month = text.substr(5, 2), day = text.substr(8, 2);
    }
    if (!all_digits(year) || !all_digits(month) || !all_digits(day))
        return "";
    int y = std::stoi(year);
    // Quote files hold dates from 1900 on; two-digit years name 1960 to 2059, so later years have no text.
    if (y < 1900 || y > 2059)
        return "";
    return month + "/" + day + "/" + (y < 1960 ? year : year.substr(2));
}

} // namespace

std::string normalise_date_text(const std::string& text) {
    std::string date = canonical_date_text(text);
    return !date.empty() && editing::date_from_text(date) != 0 ? date : "";
}

std::optional<TimeArgument> parse_time_argument(const std::string& text) {
    const bool seconds = text.size() == 8;
    const std::string full = text.size() == 5 ? text + ":00" : text;
    if (full.size() != 8 || full[2] != ':' || full[5] != ':' || !all_digits(full.substr(0, 2)) ||
        !all_digits(full.substr(3, 2)) || !all_digits(full.substr(6, 2)))
        return std::nullopt;
    const int hours = std::stoi(full.substr(0, 2)), minutes = std::stoi(full.substr(3, 2)),
              secs = std::stoi(full.substr(6, 2));
    if (hours > 23 || minutes > 59 || secs > 59)
        return std::nullopt;
    return TimeArgument{time_of_day(hours, minutes, secs), seconds};
}

std::string TimeArgument::text() const {
    const std::string full = time_display_text(time);
    return seconds ? full : full.substr(0, 5);
}
