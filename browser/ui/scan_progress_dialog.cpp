#include "browser/ui/scan_progress_dialog.h"

#include "browser/discovery_rules.h"
#include "browser/master_walk.h"
#include "shell/ui/dialog_units.h"
#include "shell/ui/prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStorageInfo>

namespace {
constexpr int kRepaintEveryMs = 100;
} // namespace

ScanProgressDialog::ScanProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("scanProgressDialog");
    setWindowTitle(QStringLiteral("Searching for Master Files"));
    // Modeless to the walk, which holds the thread; no other window takes input while events are served.
    setWindowModality(Qt::ApplicationModal);
    const DialogUnits units(font());
    setFixedSize(units.Rect(0, 0, 243, 74).size());

    pathLabel_ = new QLabel(this);
    pathLabel_->setObjectName("scanPath");
    pathLabel_->setGeometry(units.Rect(8, 12, 228, 8));
    auto* caption = new QLabel(QStringLiteral("Number of Master files found:"), this);
    caption->setGeometry(units.Rect(48, 32, 100, 8));
    countLabel_ = new QLabel(this);
    countLabel_->setObjectName("scanCount");
    countLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    countLabel_->setGeometry(units.Rect(152, 32, 21, 8));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName("scanCancel");
    cancel_->setGeometry(units.Rect(96, 50, 50, 14));
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        cancel_->setEnabled(false);
    });
}

QString ScanProgressDialog::CountText() const {
    return countLabel_->text();
}

void ScanProgressDialog::Start() {
    path_ = QStringLiteral("starting...");
    found_ = 0;
    cancelled_ = false;
    cancel_->setEnabled(true);
    ShowPath();
    countLabel_->setText(QStringLiteral("0"));
    if (const QScreen* screen = QApplication::primaryScreen()) {
        QRect where = rect();
        where.moveCenter(screen->availableGeometry().center());
        move(where.topLeft());
    }
    show();
    raise();
    // Once, so that the window is mapped and painted before the walk holds the thread.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sincePaint_.start();
}

bool ScanProgressDialog::Update(const QString& directory, int found) {
    path_ = directory;
    ShowPath();
    const bool countChanged = found != found_;
    found_ = found;
    countLabel_->setText(QString::number(found));
    if (isVisible() && sincePaint_.elapsed() >= kRepaintEveryMs) {
        QCoreApplication::processEvents(); // paints, and takes a click on Cancel
        sincePaint_.restart();
    } else if (isVisible() && countChanged) {
        repaint();
    }
    return !cancelled_;
}

void ScanProgressDialog::ShowPath() {
    // A long path keeps its start and its end.
    pathLabel_->setText(pathLabel_->fontMetrics().elidedText(path_, Qt::ElideMiddle, pathLabel_->width()));
}

ScanOutcome ScanForPortfolios(QWidget* parent, const std::string& root, bool limit,
                              const std::string& filterUpper, const ScanObserver& observer) {
    ScanProgressDialog progress(parent);
    progress.Start();
    ScanOutcome outcome;
    outcome.finished = SearchForMasters(root, outcome.found, limit, filterUpper,
                                        [&](const std::string& directory, int count) {
                                            if (observer) {
                                                observer(progress, count);
                                            }
                                            return progress.Update(QString::fromStdString(directory), count);
                                        });
    Prompts::Get().Beep();
    progress.hide();
    return outcome;
}

std::vector<std::string> MountedDrives() {
    std::vector<MountedVolume> mounted;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        const QString root = storage.rootPath();
        mounted.push_back({QFile::encodeName(QDir::toNativeSeparators(root)).toStdString(),
                           storage.fileSystemType().toStdString(), storage.isValid() && storage.isReady(),
                           QFileInfo(root).isDir()});
    }
    std::vector<std::string> drives = DriveList(mounted);
    if (drives.empty()) {
        drives.push_back(QFile::encodeName(QDir::toNativeSeparators(QDir::rootPath())).toStdString());
    }
    return drives;
}
