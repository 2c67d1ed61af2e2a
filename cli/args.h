// Small argument reader for quorbit-cli: positional words and --options.
#pragma once

#include "storage/dates.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "--name value" or "--flag" (empty value)
    bool help = false;
};

// Options that take a value; every other --word is a flag. False (with a reason) on a malformed line.
bool parse_args(const std::vector<std::string>& words, const std::vector<std::string>& valued, Args& out,
                std::string& error);

// A date as the user may type it, MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD, as the text the quote list shows
// for it (MM/DD/YY, or MM/DD/YYYY before 1960). Empty when the text is none of them or names a day the
// calendar does not have (02/30/21).
std::string normalise_date_text(const std::string& text);

// A time of day as --time takes it: HH:MM names a minute, HH:MM:SS a second.
struct TimeArgument {
    TimeOfDay time = 0;   // the minute's first second for HH:MM
    bool seconds = false; // the seconds were given
    // Whether a quote's time is the one named: the same second, or any second of the named minute.
    bool names(TimeOfDay quote_time) const {
        return seconds ? quote_time == time : quote_time / 100 == time / 100;
    }
    std::string text() const; // HH:MM or HH:MM:SS, as given
};
// Empty when the text is neither form or names no time of a day.
std::optional<TimeArgument> parse_time_argument(const std::string& text);
