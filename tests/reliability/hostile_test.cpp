// Hostile portfolios: nested entries that climb out or go round in circles, nesting beyond the bound,
// link loops and mount boundaries in the walk, a huge directory, counts and headers that lie, record
// shapes out of range, an endless F<n>.DOP line and names with bytes above 127. Each must end with a
// clear status or message, without a crash or a hang, and must write nothing at all.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "browser/quote_cells.h"
#include "browser/symbol_list.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "support/fault_injection.h"
#include "support/portfolio_builder.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// Every entry below `dir` (links and directories included, links not followed) with the bytes of each
// regular file: equal before and after means nothing was written, created or removed.
void list_tree(const fs::path& dir, const fs::path& top, std::map<std::string, std::string>& entries) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        // Lexically: resolving the path would follow the links this test is about.
        const std::string name = entry.path().lexically_relative(top).string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            entries[name] = "link:" + fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            entries[name] = "dir";
            list_tree(entry.path(), top, entries);
        } else if (entry.file_size() == 0) {
            entries[name] = "empty"; // spares opening the 100,000 empty files of the huge directory
        } else {
            entries[name] = read_bytes(entry.path());
        }
    }
}

std::map<std::string, std::string> tree(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    list_tree(dir, dir, entries);
    return entries;
}

StatusCode find(const fs::path& dir, const std::string& key, fs::path* found_dir = nullptr) {
    MasterRecord record;
    fs::path where;
    StatusCode code = master_find(dir, key, record, where);
    if (found_dir)
        *found_dir = where;
    return code;
}

std::vector<std::string> walk(const fs::path& dir) {
    std::vector<std::string> found;
    SearchForMasters(dir, found, false, "");
    return found;
}

std::string path_text(const fs::path& p) {
    return p.string();
}

class HostileTest : public ::testing::Test {
protected:
    void SetUp() override { before_ = {}; }
    // Call once the portfolio is built; TearDown checks that nothing changed since.
    void freeze() {
        frozen_ = true;
        before_ = tree(root());
    }
    void TearDown() override {
        if (frozen_) {
            EXPECT_EQ(tree(root()), before_) << "a hostile portfolio was written to";
        }
    }
    const fs::path& root() const { return dir_.path(); }

    TempDir dir_;
    bool frozen_ = false;
    std::map<std::string, std::string> before_;
};

// ---- Nested portfolios ---------------------------------------------------------------------------

TEST_F(HostileTest, NestedEntriesThatClimbOutAreNotFollowed) {
    // The key OUTSIDE lives in the parent of the portfolio; only a climbing entry could reach it.
    MasterBuilder().add(security(1, "OUTSIDE")).add_directory(2, "P").write(root());
    fs::create_directory(root() / "P");
    MasterBuilder()
        .add(security(1, "IBM"))
        .add_directory(2, "..")
        .add_directory(3, "../")
        .add_directory(4, "..\\")
        .add_directory(5, "/")
        .add_directory(6, "/tmp")
        .add_directory(7, "C:\\")
        .add_directory(8, ".")
        .add_directory(9, "../P")
        .write(root() / "P");
    freeze();

    EXPECT_EQ(find(root() / "P", "OUTSIDE"), status::kFileNotFound);
    EXPECT_EQ(find(root() / "P", "NOWHERE"), status::kFileNotFound);
    fs::path where;
    EXPECT_EQ(find(root() / "P", "IBM", &where), status::kOk);
    EXPECT_EQ(where, root() / "P");
    // From the top the nested portfolio is searched, and nothing beyond it.
    EXPECT_EQ(find(root(), "IBM", &where), status::kOk);
    EXPECT_EQ(where, root() / "P");

    SymbolListing listing = symbol_list_read(root() / "P" / "MASTER");
    ASSERT_TRUE(listing.result.ok);
    ASSERT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.rows[0].symbol, "IBM");
    EXPECT_FALSE(listing.needs_repair);
}

TEST_F(HostileTest, SiblingsThatPointAtEachOtherEndTheLookup) {
    MasterBuilder().add_directory(1, "A").add_directory(2, "B").write(root());
    fs::create_directory(root() / "A");
    fs::create_directory(root() / "B");
    // Each sibling names the other through a link, itself through ".", and the top through a link.
    MasterBuilder()
        .add(security(1, "INA"))
        .add_directory(2, "SIB")
        .add_directory(3, "TOP")
        .add_directory(4, "A")
        .write(root() / "A");
    MasterBuilder()
        .add(security(1, "INB"))
        .add_directory(2, "SIB")
        .add_directory(3, "TOP")
        .write(root() / "B");
    fs::create_directory_symlink("../B", root() / "A" / "SIB");
    fs::create_directory_symlink("../A", root() / "B" / "SIB");
    fs::create_directory_symlink("..", root() / "A" / "TOP");
    fs::create_directory_symlink("..", root() / "B" / "TOP");
    fs::create_directory_symlink(".", root() / "A" / "A");
    freeze();

    EXPECT_EQ(find(root(), "NOWHERE"), status::kFileNotFound);
    fs::path where;
    EXPECT_EQ(find(root(), "INB", &where), status::kOk);
    EXPECT_EQ(where, root() / "A" / "SIB"); // reached first through A's link, then never again
    EXPECT_EQ(find(root() / "B", "INA", &where), status::kOk);
    EXPECT_EQ(where, root() / "B" / "SIB");
    EXPECT_EQ(find(root() / "A", "NOWHERE"), status::kFileNotFound);

    std::vector<std::string> portfolios = walk(root());
    EXPECT_EQ(portfolios, (std::vector<std::string>{path_text(root()), path_text(root() / "A"),
                                                    path_text(root() / "B")}));
}

TEST_F(HostileTest, NestingDeeperThanTheBoundIsRefused) {
    constexpr int kDepth = kMaxNesting + 8;
    fs::path dir = root();
    for (int depth = 0; depth <= kDepth; ++depth) {
        MasterBuilder levels;
        levels.add(security(1, "L" + std::to_string(depth)));
        if (depth < kDepth)
            levels.add_directory(2, "N");
        levels.write(dir);
        if (depth < kDepth) {
            dir /= "N";
            fs::create_directory(dir);
        }
    }
    freeze();

    fs::path where;
    EXPECT_EQ(find(root(), "L5", &where), status::kOk);
    EXPECT_EQ(where, root() / "N" / "N" / "N" / "N" / "N");
    EXPECT_EQ(find(root(), "L" + std::to_string(kMaxNesting)), status::kOk);
    EXPECT_EQ(find(root(), "L" + std::to_string(kMaxNesting + 1)), status::kNestingTooDeep);
    EXPECT_EQ(find(root(), "NOWHERE"), status::kNestingTooDeep);
    EXPECT_STREQ(status_text(status::kNestingTooDeep), status_text(-15));

    // The walk has no such bound: it lists every level once.
    EXPECT_EQ(walk(root()).size(), static_cast<std::size_t>(kDepth + 1));
}

// ---- The walk --------------------------------------------------------------------------------------

TEST_F(HostileTest, LinkLoopsInTheWalkAreNotFollowed) {
    fs::create_directories(root() / "P" / "Q");
    MasterBuilder().add(security(1, "IBM")).write(root() / "P");
    fs::create_directory_symlink("..", root() / "P" / "up");
    fs::create_directory_symlink(".", root() / "P" / "self");
    fs::create_directory_symlink(root(), root() / "P" / "Q" / "top");
    fs::create_directory_symlink("loop2", root() / "loop1");
    fs::create_directory_symlink("loop1", root() / "loop2");
    fs::create_symlink("P/MASTER", root() / "MASTER"); // a link named MASTER is no portfolio marker
    freeze();

    EXPECT_EQ(walk(root()), (std::vector<std::string>{path_text(root() / "P")}));
    // A start that is itself a link is not followed.
    EXPECT_TRUE(walk(root() / "P" / "up").empty());
    EXPECT_TRUE(walk(root() / "loop1").empty());
    // The lookup does look through a link, but enters no directory twice.
    EXPECT_EQ(find(root() / "P" / "self", "NOWHERE"), status::kFileNotFound);
}

TEST_F(HostileTest, TheWalkStopsAtAMountBoundary) {
    // /dev/shm is normally a file system of its own below /dev: a portfolio there lies across a mount
    // boundary from a walk that starts at /dev. Mounting one for the test would need privileges.
    struct stat dev_info {};
    struct stat shm_info {};
    if (::stat("/dev", &dev_info) != 0 || ::stat("/dev/shm", &shm_info) != 0 ||
        dev_info.st_dev == shm_info.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable file system mounted at /dev/shm below /dev";
    const fs::path across = fs::path("/dev/shm") / ("quorbit-hostile-" + std::to_string(::getpid()));
    fs::create_directories(across);
    MasterBuilder().add(security(1, "IBM")).write(across);
    std::vector<std::string> found = walk("/dev");
    std::error_code ec;
    fs::remove_all(across, ec);
    for (const std::string& dir : found)
        EXPECT_NE(dir.rfind("/dev/shm", 0), 0u) << dir;
}

// A directory of its own, in memory when /dev/shm can take it: making and removing 100,000 files on a
// disk takes far longer than the walk over them.
class FastDir {
public:
    FastDir() {
        std::error_code ec;
        fs::path base = ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        path_ = base / ("quorbit-hostile-big-" + std::to_string(::getpid()));
        fs::remove_all(path_, ec);
        fs::create_directories(path_);
    }
    ~FastDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

TEST(HostileHugeDirectory, ADirectoryOfAHundredThousandEntries) {
    FastDir fast;
    const fs::path dir = fast.path() / "big";
    fs::create_directory(dir);
    // Lower-case names make every look-up of a portfolio file fall back to a search of the directory.
    SeriesSpec spec;
    spec.lower_case = true;
    const std::vector<SeriesBar> bars = random_series_bars(7, 40);
    write_series_portfolio(dir, spec, bars);
    fs::rename(dir / "f1.dop", dir / "F1.dop"); // found only by comparing with every entry
    for (int i = 0; i < 100000; ++i) {
        const std::string name = (dir / ("F" + std::to_string(i) + ".DAX")).string();
        int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
    }
    for (int i = 0; i < 50; ++i)
        fs::create_directory(dir / ("sub" + std::to_string(i)));
    MasterBuilder().add(security(1, "DEEP")).write(dir / "sub49");
    const auto before = tree(fast.path());

    FaultInjector counter; // counts the calls of the storage layer, fails none
    EXPECT_EQ(walk(dir), (std::vector<std::string>{path_text(dir), path_text(dir / "sub49")}));
    fs::path where;
    EXPECT_EQ(find(dir, "IBM", &where), status::kOk);
    EXPECT_EQ(where, dir);
    EXPECT_EQ(find(dir, "NOWHERE"), status::kFileNotFound);
    QuoteListing listing = quote_list_read(dir, "IBM");
    EXPECT_TRUE(listing.result.ok);
    EXPECT_EQ(listing.rows.size(), bars.size());
    SymbolListing symbols = symbol_list_read(portfolio_files::master(dir));
    EXPECT_TRUE(symbols.result.ok);
    // Nothing is done once per entry: the walk and the look-ups list the directory a few times and
    // make a few calls per sub-directory. (How fast that is: bench/.)
    EXPECT_LT(counter.calls(), 1000u);
    std::printf("walk, look-ups and quote list over 100,000 entries: %zu file-system calls, %zu listings\n",
                counter.calls(), counter.calls(fileops::Op::ListDir));
    EXPECT_EQ(tree(fast.path()), before);
}

// ---- MASTER counts ---------------------------------------------------------------------------------

TEST_F(HostileTest, AMasterCountOf32767OverThreeRecords) {
    MasterBuilder()
        .add(security(1, "AAA"))
        .add(security(2, "BBB"))
        .add(security(3, "CCC"))
        .count(32767)
        .second_counter(32767)
        .write(root());
    freeze();

    EXPECT_EQ(find(root(), "CCC"), status::kOk);
    EXPECT_EQ(find(root(), "NOWHERE"), status::kFileNotFound);

    SymbolListing listing = symbol_list_read(root() / "MASTER");
    EXPECT_FALSE(listing.result.ok);
    ASSERT_EQ(listing.result.messages.size(), 2u);
    EXPECT_EQ(listing.result.messages[0].text,
              "File has 32767 symbols.\nWill only display the first 255 symbols");
    EXPECT_EQ(listing.result.messages[1].text, "Failure while filling symbols grid");
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_EQ(listing.header_count, 32767);

    bool asked = false;
    SymbolListing filled = symbol_list_fill(root() / "MASTER", [&](const Message&) { return asked = true; });
    EXPECT_FALSE(filled.result.ok);
    EXPECT_FALSE(asked);

    // The changes that depend on the count refuse it: a count above 255 reads as a full portfolio.
    int number = -1;
    EXPECT_EQ(master_append(root(), master_record(security(0, "NEW")), number), 2);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(master_remove(root(), 2, true), 1);
}

TEST_F(HostileTest, NegativeMasterCounts) {
    MasterBuilder().add(security(1, "AAA")).count(-1).write(root());
    fs::create_directory(root() / "minimum");
    MasterBuilder().add(security(1, "AAA")).count(-32768).second_counter(-32768).write(root() / "minimum");
    freeze();
    for (const fs::path& dir : {root(), root() / "minimum"}) {
        EXPECT_EQ(find(dir, "AAA"), status::kFileNotFound);
        EXPECT_FALSE(symbol_list_read(dir / "MASTER").result.ok);
        int number = -1;
        EXPECT_EQ(master_append(dir, master_record(security(0, "NEW")), number), 1);
        EXPECT_EQ(master_remove(dir, 1, false), 1);
    }
}

// ---- F<n>.DAT headers ------------------------------------------------------------------------------

struct HeaderCase {
    std::int16_t last_record;
    StatusCode header_status;
    std::int32_t total; // bars read when the header is accepted
};

class LastRecordTest : public HostileTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(LastRecordTest, AShortFileUnderAnyR) {
    const HeaderCase c = GetParam();
    SeriesSpec spec;
    spec.last_record = c.last_record;
    const std::vector<SeriesBar> bars = random_series_bars(3, 2);
    write_series_portfolio(root(), spec, bars);
    const fs::path out = root() / "export.txt";
    // The failing export must not leave a file; the one that works is checked separately below.
    freeze();

    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    EXPECT_EQ(series_read(series, root(), "IBM", 0, 0), c.header_status);
    QuoteListing listing = quote_list_read(root(), "IBM");
    SeriesFacts facts;
    SplitSearchOutcome search = split_search(root(), {"IBM"});
    if (c.header_status != status::kOk) {
        EXPECT_EQ(series_read(series, root(), "IBM", -1, 1), c.header_status);
        EXPECT_EQ(series_find_date(root(), "IBM", bars[0].date, 0), c.header_status);
        EXPECT_EQ(series_describe(root(), "IBM", facts), 1);
        EXPECT_FALSE(listing.result.ok);
        EXPECT_EQ(listing.result.texts(), std::vector<std::string>{"Error in FillQuotesGrid"});
        EXPECT_FALSE(search.result.ok);
        EXPECT_EQ(search.result.texts(), std::vector<std::string>{"Error in SplitSearch bars read"});
        CommandResult exported = export_quotes(root(), "IBM", out, ExportOptions{});
        EXPECT_FALSE(exported.ok);
        EXPECT_EQ(exported.status, c.header_status);
        SeriesEdit edit;
        edit.kind = kEditSet;
        edit.first_date = bars[0].date;
        edit.last_date = bars[1].date;
        EXPECT_EQ(series_rewrite(edit, root(), "IBM", 2, root() / "MASTER"), c.header_status);
        return;
    }
    EXPECT_EQ(series.total, c.total);
    EXPECT_TRUE(listing.result.ok);
    EXPECT_EQ(listing.rows.size(), static_cast<std::size_t>(c.total));
    EXPECT_EQ(series_describe(root(), "IBM", facts), 0);
    if (c.total == 0) {
        EXPECT_EQ(series_read(series, root(), "IBM", 0, 1), status::kRecordNotFound);
        EXPECT_EQ(series_find_date(root(), "IBM", bars[0].date, 0), status::kFileRead);
        EXPECT_TRUE(search.lines.empty());
    } else {
        ASSERT_EQ(series_read(series, root(), "IBM", -1, 1), status::kOk);
        ASSERT_EQ(series.count, 1);
        EXPECT_EQ(series.date(0), bars.back().date);
        EXPECT_EQ(series_find_date(root(), "IBM", bars.back().date, 0), c.total - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(HostileHeaders, LastRecordTest,
                         ::testing::Values(HeaderCase{-1, status::kBadRecordShape, 0},
                                           HeaderCase{0, status::kBadRecordShape, 0},
                                           HeaderCase{-32768, status::kBadRecordShape, 0},
                                           HeaderCase{1, status::kOk, 0}, HeaderCase{32767, status::kOk, 2}));

TEST_F(HostileTest, AHeaderShorterThanItsRecordLength) {
    // No header at all, one byte of it, and R = 5 in a file of four bytes.
    const std::vector<std::pair<std::string, StatusCode>> cases = {
        {std::string(), status::kFileRead},
        {std::string("\x01"), status::kFileRead},
        {std::string("\x00\x00\x05\x00", 4), status::kRecordNotFound}};
    SeriesSpec spec;
    const std::vector<SeriesBar> bars = random_series_bars(3, 2);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path dir = root() / std::to_string(i);
        fs::create_directory(dir);
        write_series_portfolio(dir, spec, bars);
        write_bytes(dir / "F1.DAT", cases[i].first);
    }
    freeze();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path dir = root() / std::to_string(i);
        QuoteSeries series;
        ASSERT_EQ(series_alloc(series, 400), status::kOk);
        EXPECT_EQ(series_read(series, dir, "IBM", 0, 1), cases[i].second) << i;
        SeriesEdit edit;
        edit.kind = kEditInsert;
        edit.last_date = 65535;
        EXPECT_EQ(series_rewrite(edit, dir, "IBM", 0, dir / "MASTER"), status::kBadRecordShape) << i;
    }
}

// ---- Record shapes ---------------------------------------------------------------------------------

struct ShapeCase {
    int record_length;
    int field_count;
    bool with_dop;
};

class RecordShapeTest : public HostileTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(RecordShapeTest, IsRefusedBeforeAnythingIsRead) {
    const ShapeCase c = GetParam();
    SeriesSpec spec;
    spec.record_length = c.record_length;
    spec.field_count = c.field_count;
    spec.write_dop = c.with_dop;
    const std::vector<SeriesBar> bars = random_series_bars(5, 30);
    write_series_portfolio(root(), spec, bars);
    freeze();

    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    const StatusCode code = series_read(series, root(), "IBM", 0, -1);
    EXPECT_TRUE(code == status::kBadRecordShape || code == status::kLayoutUnknown) << code;
    EXPECT_EQ(series_find_date(root(), "IBM", bars[3].date, 0), code);
    SeriesFacts facts;
    EXPECT_EQ(series_describe(root(), "IBM", facts), 1);
    QuoteListing listing = quote_list_read(root(), "IBM");
    EXPECT_FALSE(listing.result.ok);
    EXPECT_EQ(listing.result.status, code);
    EXPECT_FALSE(split_search(root(), {"IBM"}).result.ok);
    EXPECT_EQ(export_quotes(root(), "IBM", root() / "out.txt", ExportOptions{}).status, code);
    for (std::int16_t kind = kEditSet; kind <= kEditInsert; ++kind) {
        SeriesEdit edit;
        edit.kind = kind;
        std::fill(std::begin(edit.values), std::end(edit.values), 1.0f);
        edit.first_date = bars[0].date;
        edit.last_date = bars[29].date;
        EXPECT_EQ(series_rewrite(edit, root(), "IBM", 30, root() / "MASTER"), code) << "kind " << kind;
    }
}

INSTANTIATE_TEST_SUITE_P(HostileShapes, RecordShapeTest,
                         ::testing::Values(ShapeCase{0, 0, true}, ShapeCase{0, 0, false},
                                           ShapeCase{3, 1, true}, ShapeCase{28, 0, true},
                                           ShapeCase{28, 6, true}, ShapeCase{24, 7, false},
                                           ShapeCase{80, 20, true}, ShapeCase{80, 20, false},
                                           ShapeCase{128, 32, true}, ShapeCase{252, 63, true},
                                           ShapeCase{255, 255, true}, ShapeCase{255, 255, false},
                                           ShapeCase{4, 1, false}));

TEST_F(HostileTest, ALayoutNamingAFieldBeyondTheRecordIsRefused) {
    SeriesSpec spec;
    write_series_portfolio(root(), spec, random_series_bars(5, 3));
    // Eight named fields in a 28-byte record: OI would lie beyond the record's end.
    write_bytes(root() / "F1.DOP",
                "\"DATE\"\n\"TIME\"\n\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n\"VOL\"\n\"OI\"\n");
    freeze();
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    EXPECT_EQ(series_read(series, root(), "IBM", 0, -1), status::kBadRecordShape);
}

// ---- F<n>.DOP --------------------------------------------------------------------------------------

TEST_F(HostileTest, AFieldFileOfOneLineOf100KB) {
    SeriesSpec spec;
    const std::vector<SeriesBar> bars = random_series_bars(9, 12);
    write_series_portfolio(root(), spec, bars);
    fs::create_directory(root() / "named");
    write_series_portfolio(root() / "named", spec, bars);
    fs::create_directory(root() / "commas");
    write_series_portfolio(root() / "commas", spec, bars);
    // No field name at all; a line that starts like DATE and goes on for 100 KB; 50,000 commas.
    write_bytes(root() / "F1.DOP", std::string(100 * 1024, 'A'));
    write_bytes(root() / "named" / "F1.DOP", "\"DATE" + std::string(100 * 1024, 'X') + "\",2,4");
    write_bytes(root() / "commas" / "F1.DOP", "\"CLOSE\"" + std::string(50000, ',') + "\n\"DATE\",9" +
                                                  std::string(100000, '9') + ",-" + std::string(5000, '7'));
    freeze();

    std::int16_t positions[8], inputs[8], displays[8];
    EXPECT_EQ(dop_read(root() / "F1.DOP", positions, inputs, displays, 28), status::kOk);
    EXPECT_TRUE(std::all_of(positions, positions + 8, [](std::int16_t p) { return p == 0; }));
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    EXPECT_EQ(series_read(series, root(), "IBM", 0, -1), status::kBadRecordShape); // no DATE
    EXPECT_FALSE(quote_list_read(root(), "IBM").result.ok);

    // A name is matched by its start: the long line is DATE, and every other column is absent.
    ASSERT_EQ(series_read(series, root() / "named", "IBM", 0, -1), status::kOk);
    ASSERT_EQ(series.count, 12);
    EXPECT_EQ(series.date(11), bars[11].date);
    EXPECT_EQ(series.value(kFieldClose, 11), FIELD_ABSENT);

    // Codes far beyond 16 bits are clamped, not wrapped.
    ASSERT_EQ(dop_read(root() / "commas" / "F1.DOP", positions, inputs, displays, 28), status::kOk);
    EXPECT_EQ(positions[kFieldClose], 1);
    EXPECT_EQ(positions[kFieldDate], 2);
    EXPECT_EQ(inputs[kFieldDate], 32767);
    EXPECT_EQ(displays[kFieldDate], -32768);
    EXPECT_EQ(series_read(series, root() / "commas", "IBM", 0, -1), status::kOk);
}

TEST_F(HostileTest, AFieldFileLargerThanAnyRealOneIsRefused) {
    SeriesSpec spec;
    write_series_portfolio(root(), spec, random_series_bars(9, 12));
    write_bytes(root() / "F1.DOP", "\"DATE\",1,1\n" + std::string(3 << 20, '\n'));
    freeze();
    QuoteSeries series;
    ASSERT_EQ(series_alloc(series, 400), status::kOk);
    const StatusCode code = series_read(series, root(), "IBM", 0, -1);
    EXPECT_LT(code, 0);
    EXPECT_FALSE(quote_list_read(root(), "IBM").result.ok);
}

// ---- Bytes above 127 -------------------------------------------------------------------------------

TEST_F(HostileTest, NamesWithBytesAbove127) {
    const std::string dir_name = "d\xe9p\xf4t";  // Latin-1, not UTF-8
    const std::string nested_name = "\xc9T\xc9"; // the nested portfolio's directory
    const std::string name = "M\xdc"
                             "NCHEN AG"; // a name with a byte above 127 inside
    const fs::path dir = root() / dir_name;
    fs::create_directories(dir / nested_name);
    SeriesSpec spec;
    spec.symbol = "AB\xe9";
    spec.name = name;
    const std::vector<SeriesBar> bars = random_series_bars(11, 5);
    write_security(dir, spec, bars);
    MasterRecord damaged = master_record(security(2, "\xc4\xd6X", "HIGH SYMBOL"));
    write_series_master(dir,
                        {series_master_record(spec, bars), damaged, master_directory_entry(3, nested_name)});
    MasterBuilder().add(security(1, "\xb5NESTED", "NESTED \xff\xfe")).write(dir / nested_name);
    freeze();

    fs::path where;
    EXPECT_EQ(find(dir, name, &where), status::kOk);
    EXPECT_EQ(where, dir);
    EXPECT_EQ(find(dir, "m\xdcnchen ag"), status::kOk); // only A-Z fold; the byte above 127 matches itself
    EXPECT_EQ(find(dir, "M\xfcNCHEN AG"), status::kFileNotFound);
    EXPECT_EQ(find(dir, "NESTED \xff\xfe", &where), status::kOk);
    EXPECT_EQ(where, dir / nested_name);
    EXPECT_EQ(find(dir, "\xb5NESTED"), status::kOk);
    EXPECT_EQ(find(dir, "\x80\x81\x82\xff"), status::kFileNotFound);

    SymbolListing listing = symbol_list_read(dir / "MASTER");
    ASSERT_TRUE(listing.result.ok);
    ASSERT_EQ(listing.rows.size(), 2u);
    EXPECT_TRUE(listing.needs_repair); // a symbol that starts above 127 is no symbol
    for (const SymbolRow& row : listing.rows) {
        if (row.record.file_number() == 1) {
            EXPECT_EQ(row.symbol, "AB"); // the symbol text ends at the byte above 127
        } else {
            EXPECT_TRUE(row.damaged);
        }
    }

    QuoteListing quotes = quote_list_read(dir, name);
    EXPECT_TRUE(quotes.result.ok);
    EXPECT_EQ(quotes.rows.size(), bars.size());
    EXPECT_EQ(walk(root()), (std::vector<std::string>{path_text(dir), path_text(dir / nested_name)}));
    const std::string safe = export_safe_name("AB\xe9/\xff..");
    EXPECT_TRUE(std::all_of(safe.begin(), safe.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    })) << safe;
}

} // namespace
