// The window's rows, offscreen: the quote list filled with a 32,766-bar series, and the window's peak
// memory with that series shown against the window with an empty portfolio (each in a process of its
// own, started as a user starts Quorbit: in the portfolio's folder, which the start-up search finds).
#include "browser/ui/quote_list_model.h"
#include "common/quote_cells.h"
#include "data_rows.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/quorbit_app.h"
#include "storage/quotes.h"
#include "suite.h"
#include "support/builder.h"
#include "window/quorbit_view.h"

#include <QApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace bench {

namespace {

namespace fs = std::filesystem;

// The program's start-up in `portfolio`'s folder: application, frame, view, the start-up search.
class Window {
public:
    explicit Window(const fs::path& portfolio) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "quorbit_bench";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        QDir::setCurrent(QString::fromStdString(portfolio.string()));
        const fs::path settings = scratch() / ("settings-" + std::to_string(getpid()));
        app_ = std::make_unique<CQuorbitApp>(
            SettingsLocations{(settings / "Quorbit.ini").string(), (settings / "windows").string()});
        app_->AddDocTemplate(MakeQuorbitView);
        if (app_->InitInstance()) {
            view_ = static_cast<CQuorbitView*>(app_->MainFrame()->View());
            view_->SetDriveLister([portfolio] { return std::vector<std::string>{portfolio.string()}; });
            view_->OnStartupTimer();
            QCoreApplication::processEvents();
        }
    }
    CQuorbitView* view() const { return view_; }

private:
    std::unique_ptr<CQuorbitApp> app_;
    CQuorbitView* view_ = nullptr;
};

void fill_measured(benchmark::State& state) {
    static Window window(big_security());
    CQuorbitView* view = window.view();
    for (auto _ : state) {
        view->FillQuotesGrid(0);
        QCoreApplication::processEvents();
        if (view->Quotes().Rows() != kBigBars)
            state.SkipWithError("the quote list is not full");
    }
}

// Every bar read in one call and every cell of it formatted once.
void fill_baseline(benchmark::State& state) {
    QuoteSeries series;
    series_alloc(series, kBigBars);
    const fs::path& dir = big_security();
    for (auto _ : state) {
        series_read(series, dir, "IBM", 0, kBigBars);
        for (int i = 0; i < series.count; ++i)
            benchmark::DoNotOptimize(quote_cells(series, i));
    }
    series_free(series);
}

// The helper process (arguments: portfolio, bars expected, report file): the window started in the
// portfolio, its lists filled and painted; its peak memory in KiB goes to the report file.
int window_helper(int argc, char** argv) {
    if (argc < 5)
        return 2;
    Window window(argv[2]);
    const int expected = std::atoi(argv[3]);
    if (window.view() == nullptr || window.view()->Quotes().Rows() != expected) {
        std::fprintf(stderr, "the window did not show %d quotes\n", expected);
        return 3;
    }
    window.view()->window()->repaint();
    QCoreApplication::processEvents();
    // The process's own peak (VmHWM): the peak the parent sees through wait4 also counts the parent's
    // memory, which the process shared until it started this program.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            std::ofstream(argv[4]) << std::atol(line.c_str() + 6) << '\n';
    }
    return 0;
}

// The median peak memory (KiB) of three helper processes; below 0 when one failed.
long median_peak_kb(const fs::path& portfolio, int bars) {
    std::vector<long> peaks;
    const fs::path report = scratch() / "peak.txt";
    for (int run = 0; run < 3; ++run) {
        fs::remove(report);
        const ProcessResult result = run_process(
            {self_path(), "--window-helper", portfolio.string(), std::to_string(bars), report.string()});
        long peak = -1;
        std::ifstream(report) >> peak;
        if (result.status != 0 || peak <= 0)
            return -1;
        peaks.push_back(peak);
    }
    std::sort(peaks.begin(), peaks.end());
    return peaks[1];
}

std::vector<Figure> memory_figures() {
    const fs::path empty = scratch() / "empty";
    fs::create_directories(empty);
    testing_support::MasterBuilder().write(empty);
    const long shown = median_peak_kb(big_security(), kBigBars);
    const long bare = median_peak_kb(empty, 0);
    Figure figure{"Window peak memory, 32,766 bars shown vs empty portfolio", "", "", "", "< 8 MB"};
    if (shown < 0 || bare < 0) {
        figure.measured = "FAILED";
        return {figure};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(shown) / 1024);
    figure.measured = text;
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bare) / 1024);
    figure.baseline = text;
    std::snprintf(text, sizeof text, "+%.1f MB", static_cast<double>(shown - bare) / 1024);
    figure.ratio = text;
    figure.met = shown - bare < 8 * 1024;
    return {figure};
}

const bool registered = [] {
    add_row("FillQuotesGrid offscreen, 32,766 bars", 3.0, fill_measured, fill_baseline, 4);
    add_figures(memory_figures);
    add_helper_mode("--window-helper", window_helper);
    return true;
}();

} // namespace

} // namespace bench
