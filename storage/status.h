// Status codes of the data-file layer: 0 is success, negative values are failures.
#pragma once

#include <cstdint>

using StatusCode = std::int16_t;

namespace status {
constexpr StatusCode kOk = 0;
constexpr StatusCode kInvalidParm = -1;
constexpr StatusCode kFileOpen = -2;
constexpr StatusCode kMalloc = -3;
constexpr StatusCode kFileRead = -4;
constexpr StatusCode kFileWrite = -5;
constexpr StatusCode kFileSeek = -6;
constexpr StatusCode kFileExists = -7;
constexpr StatusCode kFileNotFound = -8;
constexpr StatusCode kRecordNotFound = -9;
constexpr StatusCode kNoGraphics = -10;
constexpr StatusCode kNoFonts = -11;
constexpr StatusCode kChartsUninitialized = -12;
constexpr StatusCode kMaxLines = -13;
constexpr StatusCode kMaxGrids = -14;
// Beyond the classic table.
constexpr StatusCode kNestingTooDeep = -15;  // nested portfolios deeper than the lookup follows
constexpr StatusCode kBadRecordShape = -16;  // record length / field count / layout not supported
constexpr StatusCode kLayoutUnknown = -100;  // no F<n>.DOP and a record length with no known layout
constexpr StatusCode kDeleteNotFound = -200; // no bar dated exactly the date to delete
} // namespace status

// The text that belongs to a status code ("Unknown" for codes outside the table).
const char* status_text(StatusCode code);
