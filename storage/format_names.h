// The names of price format codes and periodicities.
#pragma once

// "128ths" .. "100,000ths", "100s", "1,000s"; "Unknown" for any other code.
const char* format_code_name(int code);
// "Daily", "Weekly", ...; "ERROR" for a letter outside the six.
const char* periodicity_name(char letter);
bool periodicity_known(char letter);
