// The portfolio directory file MASTER: its reading, whole or its counted records. The records
// themselves are storage/master_record.h; the changes of MASTER, which EMASTER and XMASTER follow, are
// storage/directory.h.
#pragma once

#include "storage/master_record.h"

#include <cstddef>
#include <filesystem>
#include <vector>

// Reads a whole MASTER. False when it cannot be opened or read, is shorter than a header, or is larger
// than any MASTER can sensibly be (kMaxMasterFileBytes).
constexpr std::size_t kMaxMasterFileBytes = std::size_t{16} << 20;
bool master_read_image(const std::filesystem::path& master_path, MasterImage& image);
// The same for a path that must name a regular file: a directory, a FIFO or a device is refused before
// it is opened, since reading one can block or never end.
bool master_read_regular_image(const std::filesystem::path& master_path, MasterImage& image);

// The counted records of one MASTER, read without looking at the unused slots behind them. Missing when
// the file cannot be opened, is a directory or is too short to be a MASTER; Error when a read failed.
enum class MasterRead { Missing, Read, Error };
MasterRead master_read_counted(const std::filesystem::path& master_path, std::vector<MasterRecord>& records);
