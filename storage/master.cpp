#include "storage/master.h"

#include "storage/fileops.h"

#include <algorithm>
#include <cerrno>

namespace fs = std::filesystem;

namespace {

template <typename Bytes> bool image_from(const Bytes& data, MasterImage& image) {
    if (data.size() < static_cast<std::size_t>(kMasterRecordSize))
        return false;
    std::copy(data.begin(), data.begin() + kMasterRecordSize, image.header.bytes.begin());
    std::size_t body = data.size() - kMasterRecordSize;
    auto records_end =
        data.begin() + kMasterRecordSize + static_cast<std::ptrdiff_t>(body - body % kMasterRecordSize);
    image.records.assign(data.begin() + kMasterRecordSize, records_end);
    image.trailing.assign(records_end, data.end());
    return true;
}

} // namespace

bool master_read_image(const fs::path& master_path, MasterImage& image) {
    image = MasterImage{};
    // Within an operation MASTER is read once, however many times it is asked for.
    if (fileops::in_operation_scope()) {
        if (auto content = fileops::read_file_kept(master_path, kMaxMasterFileBytes))
            return image_from(content.view(), image);
    }
    fileops::File file = fileops::open_read(master_path);
    if (!file.is_open())
        return false;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
        long long got = file.read_some(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        data.insert(data.end(), chunk.begin(), chunk.begin() + got);
        if (data.size() > kMaxMasterFileBytes)
            return false;
        if (static_cast<std::size_t>(got) < chunk.size())
            break;
    }
    return image_from(data, image);
}

bool master_read_regular_image(const fs::path& master_path, MasterImage& image) {
    image = MasterImage{};
    // read_file_kept refuses what is missing, no regular file or too large, before opening it.
    const fileops::FileContent content = fileops::read_file_kept(master_path, kMaxMasterFileBytes);
    return content && image_from(content.view(), image);
}

namespace {

// The counted records from a whole MASTER the operation has read already.
MasterRead counted_records_of(std::string_view content, std::vector<MasterRecord>& records) {
    if (content.size() < static_cast<std::size_t>(kMasterRecordSize))
        return MasterRead::Missing; // too short to be a MASTER
    MasterHeader header;
    std::copy_n(content.begin(), kMasterRecordSize, header.bytes.begin());
    const std::size_t counted = header.count() > 0 ? static_cast<std::size_t>(header.count()) : 0;
    const std::size_t complete = std::min(counted, content.size() / kMasterRecordSize - 1);
    records.resize(complete);
    for (std::size_t i = 0; i < complete; ++i)
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>((i + 1) * kMasterRecordSize),
                    kMasterRecordSize, records[i].bytes.begin());
    return MasterRead::Read;
}

} // namespace

MasterRead master_read_counted(const fs::path& master_path, std::vector<MasterRecord>& records) {
    records.clear();
    if (const auto content = fileops::file_kept(master_path))
        return counted_records_of(content.view(), records);
    fileops::File file = fileops::open_read(master_path);
    // Only a MASTER that is not there is missing: one that cannot be opened may well hold the key.
    if (!file.is_open())
        return errno == ENOENT || errno == ENOTDIR ? MasterRead::Missing : MasterRead::Error;
    MasterHeader header;
    long long got = file.read_some(header.bytes.data(), header.bytes.size());
    if (got < 0)
        return errno == EISDIR ? MasterRead::Missing : MasterRead::Error;
    if (got < kMasterRecordSize)
        return MasterRead::Missing; // too short to be a MASTER
    std::size_t counted = header.count() > 0 ? static_cast<std::size_t>(header.count()) : 0;
    std::vector<std::uint8_t> body(counted * kMasterRecordSize);
    got = file.read_some(body.data(), body.size());
    if (got < 0)
        return MasterRead::Error;
    std::size_t complete = static_cast<std::size_t>(got) / kMasterRecordSize;
    records.resize(complete);
    for (std::size_t i = 0; i < complete; ++i)
        std::copy_n(body.begin() + static_cast<std::ptrdiff_t>(i * kMasterRecordSize), kMasterRecordSize,
                    records[i].bytes.begin());
    return MasterRead::Read;
}
