// ScanProgressDialog: the small modeless window shown while a volume is searched for portfolios: the
// directory being searched and the number of MASTER files found so far, and a Cancel button that stops
// the search. It has no close box. While it is shown, the rest of the program takes no input.
#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

class ScanProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ScanProgressDialog(QWidget* parent);

    // Shows the window centred on the screen, with the texts "starting..." and "0".
    void Start();
    // Takes the walk's texts. The walk runs without the event loop, so the window is repainted here
    // whenever the count changes, and otherwise a few times a second, when the events that reach it (a
    // click on Cancel) are served too. Returns whether the walk goes on: false once Cancel was pressed.
    bool Update(const QString& directory, int found);
    bool Cancelled() const { return cancelled_; }
    QPushButton* CancelButton() const { return cancel_; }

    QString PathText() const { return path_; }
    QString CountText() const;

private:
    void ShowPath();

    QString path_;
    QLabel* pathLabel_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QPushButton* cancel_ = nullptr;
    int found_ = 0;
    bool cancelled_ = false;
    QElapsedTimer sincePaint_;
};

// Called with the progress window and the number found at every step of a search, before the window
// takes the step's texts: lets a test press Cancel at a chosen point.
using ScanObserver = std::function<void(ScanProgressDialog&, int found)>;

// The end of a search: the portfolio directories found (all of them, or those found before Cancel).
struct ScanOutcome {
    std::vector<std::string> found;
    bool finished = false; // false: cancelled
};

// Searches the volume `root` for portfolios (the walk, kept to paths like `filterUpper` when `limit`)
// under the progress window, and beeps at its end.
ScanOutcome ScanForPortfolios(QWidget* parent, const std::string& root, bool limit,
                              const std::string& filterUpper, const ScanObserver& observer);

// The mounted volumes as the platform reports them, reduced to the drive chooser's entries; the root of
// the file system when none is left.
std::vector<std::string> MountedDrives();
