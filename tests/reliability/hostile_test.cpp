// Hostile portfolios: nested entries that climb out or go round in circles, nesting beyond the bound,
// link loops and mount boundaries in the walk, a huge directory, counts and headers that lie, record
// shapes out of range, an endless F<n>.DOP line and names with bytes above 127. Each must end with a
// clear status or message, without a crash or a hang, and must write nothing at all.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "editing/series_session.h"
#include "storage/directory.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/host.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// The series as the window opens it.
editing::SeriesSession opened(const fs::path& dir, std::string_view symbol) {
    editing::SeriesSession series;
    series.open(dir, symbol);
    return series;
}

// Every entry below `dir` (links listed, not followed) with the bytes of each regular file: equal before
// and after means nothing was written, created or removed.
std::map<std::string, std::string> tree(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
        const fs::file_status status = e.symlink_status(); // lexically: resolving would follow the links
        entries[e.path().lexically_relative(dir).string()] =
            fs::is_symlink(status)     ? "link:" + fs::read_symlink(e.path()).string()
            : fs::is_directory(status) ? "dir"
            : e.file_size() == 0       ? "" // spares 100,000 opens
                                       : read_bytes(e.path());
    }
    return entries;
}

// Where the lookup finds the key: the directory, or the status of the failure.
std::string found(const fs::path& dir, const std::string& key) {
    MasterRecord record;
    fs::path where;
    const StatusCode code = master_find(dir, key, record, where);
    return code == status::kOk ? where.string() : "status " + std::to_string(code);
}
const std::string kNotFound = "status -8", kTooDeep = "status -15";

// A MASTER of the given securities (file numbers 1, 2, ...), then the nested entries named.
void portfolio(const fs::path& dir, std::vector<std::string> symbols, std::vector<std::string> nested = {}) {
    MasterBuilder builder;
    int number = 1;
    for (const std::string& symbol : symbols)
        builder.add(security(number++, symbol));
    for (const std::string& name : nested)
        builder.add_directory(number++, name);
    builder.write(dir);
}

void links(const fs::path& dir, std::vector<std::pair<fs::path, std::string>> targets_and_names) {
    for (const auto& [target, name] : targets_and_names)
        fs::create_directory_symlink(target, dir / name);
}

std::vector<std::string> walk(const fs::path& dir) {
    std::vector<std::string> found;
    SearchForMasters(dir, found, false, "");
    return found;
}

std::vector<std::string> texts(const std::vector<fs::path>& paths) {
    std::vector<std::string> out;
    for (const fs::path& p : paths)
        out.push_back(p.string());
    return out;
}

class Hostile : public ::testing::Test {
protected:
    // Call once the portfolio is built; TearDown checks that nothing changed since.
    void freeze() { before_ = tree(root()); }
    void TearDown() override {
        if (before_) {
            EXPECT_EQ(tree(root()), *before_) << "a hostile portfolio was written to";
        }
    }
    const fs::path& root() const { return dir_.path(); }

    TempDir dir_;
    std::optional<std::map<std::string, std::string>> before_;
};

// ---- Nested portfolios and the walk ------------------------------------------------------------------

TEST_F(Hostile, NestedEntriesThatClimbOutAreNotFollowed) {
    // The key OUTSIDE lives in the parent of the portfolio; only a climbing entry could reach it.
    portfolio(root(), {"OUTSIDE"}, {"P"});
    portfolio(root() / "P", {"IBM"}, {"..", "../", "..\\", "/", "/tmp", "C:\\", ".", "../P", "C:", "A\\B"});
    if (testing_support::kPosixHost) { // these exist on a POSIX host, and must not be entered either
        portfolio(root() / "P" / "C:", {"OUTSIDE"});
        portfolio(root() / "P" / "A\\B", {"OUTSIDE"});
    }
    freeze();
    EXPECT_EQ(found(root() / "P", "OUTSIDE"), kNotFound);
    EXPECT_EQ(found(root(), "IBM"),
              (root() / "P").string()); // from the top: the nested portfolio, no further
    const SymbolListing listing = symbol_list_read(root() / "P" / "MASTER");
    ASSERT_TRUE(listing.result.ok);
    EXPECT_EQ(listing.rows.size(), 1u);
    EXPECT_FALSE(listing.needs_repair);
}

TEST_F(Hostile, SiblingsThatPointAtEachOtherEndTheLookup) {
    SKIP_UNLESS_POSIX_HOST();
    // Each sibling names the other through a link, itself through ".", and the top through a link.
    portfolio(root(), {}, {"A", "B"});
    portfolio(root() / "A", {"INA"}, {"SIB", "TOP", "A"});
    portfolio(root() / "B", {"INB"}, {"SIB", "TOP"});
    links(root() / "A", {{"../B", "SIB"}, {"..", "TOP"}, {".", "A"}});
    links(root() / "B", {{"../A", "SIB"}, {"..", "TOP"}});
    freeze();
    EXPECT_EQ(found(root(), "NOWHERE"), kNotFound);
    EXPECT_EQ(found(root(), "INB"),
              (root() / "A" / "SIB").string()); // first through A's link, then never again
    EXPECT_EQ(found(root() / "B", "INA"), (root() / "B" / "SIB").string());
    EXPECT_EQ(found(root() / "A", "NOWHERE"), kNotFound);
    EXPECT_EQ(walk(root()), texts({root(), root() / "A", root() / "B"}));
}

TEST_F(Hostile, NestingDeeperThanTheBoundIsRefused) {
    constexpr int kDepth = kMaxNesting + 8;
    fs::path dir = root();
    for (int depth = 0; depth <= kDepth; ++depth, dir /= "N")
        portfolio(dir, {"L" + std::to_string(depth)},
                  depth < kDepth ? std::vector<std::string>{"N"} : std::vector<std::string>{});
    freeze();
    EXPECT_EQ(found(root(), "L2"), (root() / "N" / "N").string());
    EXPECT_NE(found(root(), "L" + std::to_string(kMaxNesting)), kTooDeep);
    EXPECT_EQ(found(root(), "L" + std::to_string(kMaxNesting + 1)), kTooDeep);
    EXPECT_EQ(found(root(), "NOWHERE"), kTooDeep);
    EXPECT_EQ(walk(root()).size(), static_cast<std::size_t>(kDepth + 1)); // the walk has no such bound
}

TEST_F(Hostile, LinkLoopsInTheWalkAreNotFollowed) {
    SKIP_UNLESS_POSIX_HOST();
    fs::create_directories(root() / "P" / "Q");
    portfolio(root() / "P", {"IBM"});
    links(root(),
          {{"..", "P/up"}, {".", "P/self"}, {root(), "P/Q/top"}, {"loop2", "loop1"}, {"loop1", "loop2"}});
    fs::create_symlink("P/MASTER", root() / "MASTER"); // a link named MASTER is no portfolio marker
    freeze();
    EXPECT_EQ(walk(root()), texts({root() / "P"}));
    EXPECT_TRUE(walk(root() / "P" / "up").empty()); // a start that is itself a link is not followed
    EXPECT_TRUE(walk(root() / "loop1").empty());
    EXPECT_EQ(found(root() / "P" / "self", "NOWHERE"), kNotFound); // no directory entered twice
}

#ifndef _WIN32 // mounted file systems below a directory
TEST(HostileWalk, StopsAtAMountBoundary) {
    // /dev/shm is normally a file system of its own below /dev: a portfolio there lies across a mount
    // boundary from a walk that starts at /dev. Mounting one for the test would need privileges.
    struct stat dev_info {};
    struct stat shm_info {};
    if (::stat("/dev", &dev_info) != 0 || ::stat("/dev/shm", &shm_info) != 0 ||
        dev_info.st_dev == shm_info.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable file system mounted at /dev/shm below /dev";
    const fs::path across = fs::path("/dev/shm") / ("quorbit-hostile-" + std::to_string(::getpid()));
    portfolio(across, {"IBM"});
    const std::vector<std::string> found = walk("/dev");
    std::error_code ec;
    fs::remove_all(across, ec);
    for (const std::string& dir : found)
        EXPECT_NE(dir.rfind("/dev/shm", 0), 0u) << dir;
}
#endif

TEST(HostileWalk, ADirectoryOfAHundredThousandEntries) {
    // In memory when /dev/shm can take it: making 100,000 files on a disk takes far longer than the walk.
    use_memory_file_system();
    const TempDir temp;
    const fs::path top = temp.path();
    const fs::path dir = top / "big";
    fs::create_directories(dir);
    const std::vector<SeriesBar> bars = random_series_bars(7, 40);
    // Lower-case names: every look-up of a portfolio file falls back to a search of the directory.
    write_series_portfolio(dir, {.lower_case = true}, bars);
    fs::rename(dir / "f1.dop", dir / "F1.dop"); // found only by comparing with every entry
    // Under Wine each new name is compared with every entry already there, so a Windows build makes
    // fewer: the bound on calls below is the same.
    const int kEntries = testing_support::kPosixHost ? 100000 : 5000;
    for (int i = 0; i < kEntries; ++i) {
        const fs::path empty = dir / ("F" + std::to_string(i) + ".DAX");
#ifdef _WIN32
        ASSERT_TRUE(std::ofstream(empty).good());
#else
        const int fd = ::open(empty.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
#endif
    }
    for (int i = 0; i < 50; ++i)
        fs::create_directory(dir / ("sub" + std::to_string(i)));
    portfolio(dir / "sub49", {"DEEP"});
    const auto before = tree(top);
    FaultInjector counter; // counts the calls of the storage layer, fails none
    EXPECT_EQ(walk(dir), texts({dir, dir / "sub49"}));
    EXPECT_EQ(found(dir, "IBM"), dir.string());
    EXPECT_EQ(found(dir, "NOWHERE"), kNotFound);
    EXPECT_EQ(opened(dir, "IBM").rows().size(), bars.size());
    EXPECT_TRUE(symbol_list_read(portfolio_files::master(dir)).result.ok);
    // Nothing is done once per entry: the walk and the look-ups list the directory a few times and make a
    // few calls per sub-directory. (How fast that is: bench/.)
    EXPECT_LT(counter.calls(), 1000u);
    std::printf("walk, look-ups and quote list over %d entries: %zu file-system calls, %zu listings\n",
                kEntries, counter.calls(), counter.calls(fileops::Op::ListDir));
    EXPECT_EQ(tree(top), before);
}

// ---- MASTER counts -----------------------------------------------------------------------------------

TEST_F(Hostile, MasterCountsOf32767AndBelowZeroOverThreeRecords) {
    for (std::int16_t count : {32767, -1, -32768}) {
        MasterBuilder()
            .add(security(1, "AAA"))
            .add(security(2, "BBB"))
            .add(security(3, "CCC"))
            .count(count)
            .second_counter(count)
            .write(root() / std::to_string(count));
    }
    freeze();
    for (std::int16_t count : {32767, -1, -32768}) {
        const fs::path dir = root() / std::to_string(count);
        // A count above the records present reads those that are there; one below zero reads none.
        EXPECT_EQ(found(dir, "CCC"), count > 0 ? dir.string() : kNotFound);
        EXPECT_EQ(found(dir, "NOWHERE"), kNotFound);
        const SymbolListing listing = symbol_list_read(dir / "MASTER");
        EXPECT_TRUE(!listing.result.ok && listing.rows.empty());
        EXPECT_EQ(listing.result.texts().back(), "Failure while filling symbols grid");
        bool asked = false;
        EXPECT_FALSE(
            symbol_list_fill(dir / "MASTER", [&](const Message&) { return asked = true; }).result.ok);
        EXPECT_FALSE(asked);
        int number = -1; // a count above 255 reads as a full portfolio
        EXPECT_EQ(master_append(dir, master_record(security(0, "NEW")), number), count > 0 ? 2 : 1);
        EXPECT_EQ(number, 0);
        EXPECT_EQ(master_remove(dir, 2, true), 1);
    }
}

// ---- Quote files -------------------------------------------------------------------------------------

// Every reader and the rewrite of every kind end with `code` on the security, and write nothing.
void expect_refused_everywhere(const fs::path& dir, DayNumber first, DayNumber last, StatusCode code) {
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    EXPECT_EQ(series_read(series, dir, "IBM", 0, -1), code);
    EXPECT_EQ(series_read(series, dir, "IBM", -1, 1), code);
    EXPECT_EQ(series_find_date(dir, "IBM", first, 0), code);
    SeriesFacts facts;
    EXPECT_EQ(series_describe(dir, "IBM", facts), 1);
    const CommandResult listing = opened(dir, "IBM").last_read().result;
    EXPECT_EQ(listing.texts(), std::vector<std::string>{"Error in FillQuotesGrid"});
    EXPECT_EQ(listing.status, code);
    EXPECT_EQ(split_search(dir, {"IBM"}).result.texts(),
              std::vector<std::string>{"Error in SplitSearch bars read"});
    EXPECT_EQ(export_quotes(dir, "IBM", dir / "out.txt", ExportOptions{}).status, code);
    for (std::int16_t kind = kEditSet; kind <= kEditInsert; ++kind)
        EXPECT_EQ(series_rewrite({{1, 1, 1, 1, 1, 1}, first, last, kind}, dir, "IBM", 30, dir / "MASTER"),
                  code)
            << "kind " << kind;
}

class LastRecord : public Hostile, public ::testing::WithParamInterface<std::int16_t> {};

TEST_P(LastRecord, AShortFileUnderAnyR) {
    const std::vector<SeriesBar> bars = random_series_bars(3, 2);
    write_series_portfolio(root(), {.last_record = GetParam()}, bars);
    freeze();
    if (GetParam() < 1)
        return expect_refused_everywhere(root(), bars[0].date, bars[1].date, status::kBadRecordShape);
    // R = 1 promises no bars, R = 32767 far more than the two the file holds.
    const int total = GetParam() == 1 ? 0 : 2;
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    ASSERT_EQ(series_read(series, root(), "IBM", 0, 0), status::kOk);
    EXPECT_EQ(series.total, total);
    const editing::SeriesSession listing = opened(root(), "IBM"); // no bars is no failure
    EXPECT_TRUE(listing.last_read().result.ok && listing.rows().size() == static_cast<std::size_t>(total));
    SeriesFacts facts;
    EXPECT_EQ(series_describe(root(), "IBM", facts), 0);
    EXPECT_EQ(series_read(series, root(), "IBM", total ? -1 : 0, 1),
              total ? status::kOk : status::kRecordNotFound);
    EXPECT_EQ(series.date(0), total ? bars.back().date : 0);
    EXPECT_EQ(series_find_date(root(), "IBM", bars.back().date, 0), total ? total - 1 : status::kFileRead);
    EXPECT_TRUE(split_search(root(), {"IBM"}).lines.empty());
}

INSTANTIATE_TEST_SUITE_P(HostileHeaders, LastRecord, ::testing::Values(-1, 0, -32768, 1, 32767));

TEST_F(Hostile, AHeaderShorterThanItsRecordLength) {
    // No header at all, one byte of it, and R = 5 in a file of four bytes.
    const std::pair<std::string, StatusCode> cases[] = {
        {"", status::kFileRead},
        {"\x01", status::kFileRead},
        {std::string("\x00\x00\x05\x00", 4), status::kRecordNotFound}};
    for (std::size_t i = 0; i < 3; ++i) {
        write_series_portfolio(root() / std::to_string(i), SeriesSpec{}, random_series_bars(3, 2));
        write_bytes(root() / std::to_string(i) / "F1.DAT", cases[i].first);
    }
    freeze();
    for (std::size_t i = 0; i < 3; ++i) {
        const fs::path dir = root() / std::to_string(i);
        QuoteSeries series;
        ASSERT_EQ(series_alloc(series, 400), status::kOk);
        EXPECT_EQ(series_read(series, dir, "IBM", 0, 1), cases[i].second) << i;
        EXPECT_EQ(series_rewrite({{}, 0, 65535, kEditInsert}, dir, "IBM", 0, dir / "MASTER"),
                  status::kBadRecordShape)
            << i;
    }
}

// Record length, field count, F1.DOP (empty: none; "-": the one the builder writes).
using Shape = std::tuple<int, int, std::string>;
class RecordShape : public Hostile, public ::testing::WithParamInterface<Shape> {};

TEST_P(RecordShape, IsRefusedBeforeAnythingIsRead) {
    const auto& [length, fields, dop] = GetParam();
    const std::vector<SeriesBar> bars = random_series_bars(5, 30);
    write_series_portfolio(root(), {.write_dop = dop == "-", .record_length = length, .field_count = fields},
                           bars);
    if (!dop.empty() && dop != "-")
        write_bytes(root() / "F1.DOP", dop);
    freeze();
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    const StatusCode code = series_read(series, root(), "IBM", 0, -1);
    EXPECT_TRUE(code == status::kBadRecordShape || code == status::kLayoutUnknown) << code;
    expect_refused_everywhere(root(), bars[0].date, bars[29].date, code);
}

const std::string kEightFields =
    "\"DATE\"\n\"TIME\"\n\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n\"VOL\"\n\"OI\"\n";
INSTANTIATE_TEST_SUITE_P(HostileShapes, RecordShape,
                         ::testing::Values(Shape{0, 0, "-"}, Shape{0, 0, ""}, Shape{3, 1, "-"},
                                           Shape{28, 0, "-"}, Shape{28, 6, "-"}, Shape{24, 7, ""},
                                           Shape{80, 20, "-"}, Shape{80, 20, ""}, Shape{128, 32, "-"},
                                           Shape{252, 63, "-"}, Shape{255, 255, "-"}, Shape{255, 255, ""},
                                           Shape{4, 1, ""}, Shape{28, 7, kEightFields},
                                           Shape{28, 7, "\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n"}));

TEST_F(Hostile, FieldFilesOfOneLineOf100KBOrLargerThanAnyRealOne) {
    const std::vector<SeriesBar> bars = random_series_bars(9, 12);
    const std::pair<const char*, std::string> dops[] = {
        {"nameless", std::string(100 * 1024, 'A')}, // no field name at all
        {"named", "\"DATE" + std::string(100 * 1024, 'X') + "\",2,4"},
        {"commas", "\"CLOSE\"" + std::string(50000, ',') + "\n\"DATE\",9" + std::string(100000, '9') + ",-" +
                       std::string(5000, '7')},
        {"huge", "\"DATE\",1,1\n" + std::string(3 << 20, '\n')}};
    for (const auto& [name, text] : dops) {
        write_series_portfolio(root() / name, SeriesSpec{}, bars);
        write_bytes(root() / name / "F1.DOP", text);
    }
    freeze();
    std::int16_t positions[8], inputs[8], displays[8];
    EXPECT_EQ(dop_read(root() / "nameless" / "F1.DOP", positions, inputs, displays, 28), status::kOk);
    EXPECT_TRUE(std::all_of(positions, positions + 8, [](std::int16_t p) { return p == 0; }));
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    for (const char* refused : {"nameless", "huge"}) {
        EXPECT_LT(series_read(series, root() / refused, "IBM", 0, -1), 0)
            << refused; // no DATE; far too large
        EXPECT_FALSE(opened(root() / refused, "IBM").last_read().result.ok) << refused;
    }
    // A name is matched by its start: the long line is DATE, and every other column is absent.
    ASSERT_EQ(series_read(series, root() / "named", "IBM", 0, -1), status::kOk);
    ASSERT_EQ(series.count, 12);
    EXPECT_EQ(series.date(11), bars[11].date);
    EXPECT_EQ(series.value(kFieldClose, 11), FIELD_ABSENT);
    // Codes far beyond 16 bits are clamped, not wrapped.
    ASSERT_EQ(dop_read(root() / "commas" / "F1.DOP", positions, inputs, displays, 28), status::kOk);
    EXPECT_EQ(std::vector<int>(
                  {positions[kFieldClose], positions[kFieldDate], inputs[kFieldDate], displays[kFieldDate]}),
              (std::vector<int>{1, 2, 32767, -32768}));
    EXPECT_EQ(series_read(series, root() / "commas", "IBM", 0, -1), status::kOk);
}

TEST_F(Hostile, NamesWithBytesAbove127) {
#ifdef _WIN32
    // Narrow names are not yet carried as UTF-8 on Windows: a folder named with bytes above 127 is not
    // found there. Left for later; the walk over such names is tested on POSIX hosts.
    GTEST_SKIP() << "file names above 127 are not carried through on Windows yet";
#endif
    const fs::path dir = root() / "d\xe9p\xf4t"; // Latin-1, not UTF-8
    const std::string nested = "\xc9T\xc9", name = "M\xdc"
                                                   "NCHEN AG";
    const SeriesSpec spec{.symbol = "AB\xe9", .name = name};
    const std::vector<SeriesBar> bars = random_series_bars(11, 5);
    write_security(dir, spec, bars);
    write_series_master(dir, {series_master_record(spec, bars),
                              master_record(security(2, "\xc4\xd6X", "HIGH SYMBOL")),
                              master_directory_entry(3, nested)});
    MasterBuilder().add(security(1, "\xb5NESTED", "NESTED \xff\xfe")).write(dir / nested);
    freeze();
    EXPECT_EQ(found(dir, name), dir.string());
    EXPECT_EQ(found(dir, "m\xdcnchen ag"), dir.string()); // only A-Z fold; a byte above 127 matches itself
    EXPECT_EQ(found(dir, "NESTED \xff\xfe"), (dir / nested).string());
    EXPECT_EQ(found(dir, "\xb5NESTED"), (dir / nested).string());
    for (const char* key : {"M\xfcNCHEN AG", "\x80\x81\x82\xff"})
        EXPECT_EQ(found(dir, key), kNotFound);
    const SymbolListing listing = symbol_list_read(dir / "MASTER");
    ASSERT_TRUE(listing.result.ok);
    ASSERT_EQ(listing.rows.size(), 2u);
    EXPECT_TRUE(listing.needs_repair); // a symbol that starts above 127 is no symbol
    for (const SymbolRow& row : listing.rows)
        EXPECT_TRUE(row.record().file_number() == 1 ? row.symbol() == "AB" : row.damaged) << row.symbol();
    EXPECT_EQ(opened(dir, name).rows().size(), bars.size());
    EXPECT_EQ(walk(root()), texts({dir, dir / nested}));
    const std::string safe = export_safe_name("AB\xe9/\xff..");
    EXPECT_TRUE(std::all_of(safe.begin(), safe.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    })) << safe;
}

} // namespace
