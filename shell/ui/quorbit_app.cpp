#include "shell/ui/quorbit_app.h"

#include "shell/ui/about_dlg.h"
#include "shell/ui/frame_view.h"
#include "shell/ui/help_wnd.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/quorbit_doc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

// The resource file is compiled into this static library: its initialiser must be called by name, and
// from outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(quorbit);
}

CQuorbitApp::CQuorbitApp(SettingsLocations locations) : locations_(std::move(locations)) {
    InitResources();
}

CQuorbitApp::~CQuorbitApp() {
    ExitInstance();
}

bool CQuorbitApp::InitInstance() {
    settings_ = std::make_unique<CSettingsStore>(locations_);
    OpenSettingsStoreAtStartUp(*settings_);

    frame_ = std::make_unique<CMainFrame>(*settings_);
    frame_->PlaceWindow();
    document_ = std::make_unique<CQuorbitDoc>();
    if (makeView_) {
        FrameView* view = makeView_(*settings_, *frame_);
        if (view == nullptr) {
            return false;
        }
        frame_->SetView(view);
    }
    connect(frame_.get(), &CMainFrame::aboutRequested, this, &CQuorbitApp::OnAppAbout);
    connect(frame_.get(), &CMainFrame::helpRequested, this, &CQuorbitApp::OnHelp);
    frame_->show();
    return true;
}

int CQuorbitApp::ExitInstance() {
    frame_.reset();
    document_.reset();
    settings_.reset();
    return 0;
}

void CQuorbitApp::OnAppAbout() {
    CAboutDlg about(&guideLinkVisited, WriteHelpFile(), frame_.get());
    about.exec();
}

QString CQuorbitApp::HelpFilePath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath("quorbit-help.html");
}

QString CQuorbitApp::WriteHelpFile() {
    const QString path = HelpFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    return QFile::copy(":/help/quorbit.html", path) ? QUrl::fromLocalFile(path).toString() : QString();
}

void CQuorbitApp::OnHelp() {
    if (help_ == nullptr) {
        help_ = new CHelpWnd(frame_.get());
        frame_->PlaceOwnWindow(*help_, QSize(640, 560));
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}
