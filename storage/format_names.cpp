#include "storage/format_names.h"

#include <string_view>

const char* format_code_name(int code) {
    switch (code) {
    case -7:
        return "128ths";
    case -6:
        return "64ths";
    case -5:
        return "32nds";
    case -4:
        return "16ths";
    case -3:
        return "8ths";
    case -2:
        return "4ths";
    case -1:
        return "Halves";
    case 0:
        return "Whole Num.";
    case 1:
        return "10ths";
    case 2:
        return "100ths";
    case 3:
        return "1,000ths";
    case 4:
        return "10,000ths";
    case 5:
        return "100,000ths";
    case 100:
        return "100s";
    case 1000:
        return "1,000s";
    default:
        return "Unknown";
    }
}

const char* periodicity_name(char letter) {
    switch (letter) {
    case 'D':
        return "Daily";
    case 'W':
        return "Weekly";
    case 'M':
        return "Monthly";
    case 'Q':
        return "Quarterly";
    case 'Y':
        return "Yearly";
    case 'I':
        return "Intra-day";
    default:
        return "ERROR";
    }
}

bool periodicity_known(char letter) {
    return std::string_view("DWMQYI").find(letter) != std::string_view::npos && letter;
}
