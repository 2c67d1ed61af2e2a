// Stored records of F<n>.DAT turned into the columns of a window of bars.
#pragma once

#include "storage/quotes.h"

#include <cstdint>

// Bars first .. first + bars - 1 of the series from `bars` consecutive records of `length` bytes laid out
// as `layout` says. The records are scratch afterwards (they may be converted in place).
void store_bars(QuoteSeries& series, std::int32_t bars, std::uint8_t* records, int length,
                const FieldLayout& layout);

// The field at 1-based `position` of `bars` consecutive records of `length` bytes, converted, into
// out[0 .. bars - 1]: each value bit for bit as store_bars puts it into its column. The records are
// not changed.
void decode_field(const std::uint8_t* records, std::int32_t bars, int length, int position, float* out);

// Whether eight bars at a time may be decoded with the processor's vector instructions where it has
// them (on by default). Both ways give the same bars; tests compare them.
void set_vector_decoding(bool allowed);
