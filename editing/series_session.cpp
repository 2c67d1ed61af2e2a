#include "editing/series_session.h"

#include "storage/portfolio_files.h"
#include "storage/status.h"
#include "storage/text_util.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <span>

namespace editing {

QuoteValuesRead SeriesSession::open(const std::filesystem::path& dir, std::string_view symbol,
                                    const QuoteReadSink* observer) {
    close();
    ++reads_;
    dir_ = dir;
    symbol_ = std::string(symbol);
    // One scope for the whole open: MASTER and the other directory files are read once.
    const fileops::OperationScope scope;
    master_path_ = portfolio_files::master(dir);
    const std::string_view key = trim_trailing_blanks(symbol);
    // The files are looked at before they are read: a change made meanwhile is then taken for a change
    // since the reading, which asks for one reading too many, never one too few.
    for (const char* name : {"MASTER", "EMASTER", "XMASTER"})
        stamp(portfolio_files::existing(dir, name));
    errno = 0;
    locate_status_ = series_locate(dir, key, location_);
    locate_error_ = errno;
    if (locate_status_ == status::kOk) {
        stamp(location_.file("DAT"));
        stamp(location_.file("DOP"));
        for (std::size_t i = 0; i < present_.size(); ++i)
            present_[i] = location_.layout.position[kFieldOpen + static_cast<int>(i)] != 0;
        has_time_ = location_.layout.position[kFieldTime] != 0;
    }
    QuoteReadSink sink;
    sink.begin = [&](std::int32_t count, bool has_time) {
        located_ = true;
        quote_count_ = count;
        rows_.reserve(static_cast<std::size_t>(std::max(count, 0)));
        if (observer != nullptr && observer->begin)
            observer->begin(count, has_time);
    };
    sink.window = [&](std::span<const QuoteRowValues> window) {
        rows_.insert(rows_.end(), window.begin(), window.end());
        if (observer != nullptr && observer->window)
            observer->window(window);
    };
    QuoteValuesRead read;
    if (locate_status_ == status::kOk) {
        read = quote_values_read_at(location_, key, sink);
    } else {
        read.result = CommandResult::failure(kFillQuotesError, locate_status_);
    }
    if (!located_)
        header_status_ = read.result.status;
    first_date_ = read.first_date;
    last_date_ = read.last_date;
    read_ = read;
    return read;
}

QuoteValuesRead SeriesSession::reload(const QuoteReadSink* observer) {
    const std::filesystem::path dir = dir_;
    const std::string symbol = symbol_;
    return open(dir, symbol, observer);
}

void SeriesSession::close() {
    const std::uint64_t reads = reads_;
    *this = SeriesSession();
    reads_ = reads;
}

void SeriesSession::stamp(const std::filesystem::path& path) {
    stamps_.push_back(FileStamp{path, fileops::stat(path)});
}

const QuoteRowValues* SeriesSession::quote(std::int32_t bar) const {
    const std::int64_t row = static_cast<std::int64_t>(quote_count_) - 1 - bar;
    if (bar < 0 || row < 0 || row >= static_cast<std::int64_t>(rows_.size()))
        return nullptr;
    return &rows_[static_cast<std::size_t>(row)];
}

QuoteRef SeriesSession::ref_of_row(int row) const {
    const std::int32_t bar = bar_of_row(row);
    const QuoteRowValues* shown = quote(bar);
    if (shown == nullptr)
        return QuoteRef{};
    return QuoteRef{bar, shown->date, shown->time};
}

bool SeriesSession::changed_on_disk() const {
    for (const FileStamp& file : stamps_) {
        if (!fileops::same_file_state(file.state, fileops::stat(file.path)))
            return true;
    }
    return false;
}

CommandResult SeriesSession::changed_refusal() const {
    char text[512];
    std::snprintf(text, sizeof text, kChangedByAnotherProgram, symbol_.c_str());
    return CommandResult::failure(text, 0, MessageKind::Warning);
}

} // namespace editing
