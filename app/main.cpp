// quorbit: the desktop program. It takes no arguments of its own but one for demonstrations and checks:
// `--screenshot FILE` saves a picture of the main window once the start-up search has opened the first
// portfolio, then ends the program (exit status 1 when the picture could not be written); with `--chart`
// as well, the picture is of the chart window of the series on screen. `--help` and `--version` answer
// before any window is made, so that they work without a display (the manual page is made from them).
#include "shell/ui/main_frame.h"
#include "shell/ui/quorbit_app.h"
#include "window/quorbit_view.h"

#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include "quorbit_version.h"

#include <cstdio>
#include <cstring>

namespace {

// The file named after --screenshot; empty when the option is not given.
QString ScreenshotFile(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

// After the start-up work, and after the window has painted what it found, saves it and quits.
void SaveScreenshotAfterStartUp(CMainFrame* frame, const QString& file, bool chart) {
    auto* view = dynamic_cast<CQuorbitView*>(frame->View());
    if (view == nullptr) {
        return;
    }
    QObject::connect(view, &CQuorbitView::startupFinished, frame, [frame, view, file, chart] {
        if (chart) {
            view->RunCommand(ViewCommand::Chart);
        }
        QTimer::singleShot(0, frame, [frame, view, file, chart] {
            QWidget* shown = chart && view->ChartWindow() != nullptr
                                 ? static_cast<QWidget*>(view->ChartWindow())
                                 : static_cast<QWidget*>(frame);
            const bool saved = shown->grab().save(file);
            if (!saved) {
                std::fprintf(stderr, "quorbit: could not write the screenshot %s\n", qPrintable(file));
            }
            QApplication::exit(saved ? 0 : 1);
        });
    });
}

// Answers --help and --version; false when neither was asked.
bool AnsweredWithoutWindow(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorbit (Quorbit) " QUORBIT_VERSION "\n"
                        "Copyright (c) the Quorbit authors.\n"
                        "Released under the MIT License: you may use, copy, change and pass it on.\n");
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: quorbit [--screenshot FILE [--chart]]\n\n"
                "Quorbit finds MetaStock / CompuTrac portfolios on a volume and lets you browse,\n"
                "correct, check, export and repair them in a window. It never changes a file in\n"
                "place: every change writes a complete new copy and renames it over the old one.\n"
                "Its default search filter is the folder it starts in.\n\n"
                "Options:\n"
                "  --screenshot FILE  save a picture of the window once the first portfolio is open,\n"
                "                     then end\n"
                "  --chart            with --screenshot: the picture is of the chart window\n"
                "  --help             show this help and end\n"
                "  --version          show the version and end\n\n"
                "The same commands for scripts: quorbit-cli --help\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AnsweredWithoutWindow(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quorbit");
    QApplication::setOrganizationName("Kestrone Software");

    CQuorbitApp quorbit;
    quorbit.AddDocTemplate(MakeQuorbitView);
    if (!quorbit.InitInstance()) {
        return 1;
    }
    const QString screenshot = ScreenshotFile(QApplication::arguments());
    if (!screenshot.isEmpty()) {
        SaveScreenshotAfterStartUp(quorbit.MainFrame(), screenshot,
                                   QApplication::arguments().contains(QStringLiteral("--chart")));
    }
    const int result = QApplication::exec();
    quorbit.ExitInstance();
    return result;
}
