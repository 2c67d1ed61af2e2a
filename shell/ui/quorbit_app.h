// CQuorbitApp: the application object. It owns the settings store and the About box's link-visited
// flag for the whole run, and starts up and ends the program in a fixed order: settings
// store (with the one-time INI import), main frame placed from its saved placement, document, view.
#pragma once

#include "shell/settings_store.h"
#include "shell/ui/help_wnd.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class CMainFrame;
class CQuorbitDoc;
class FrameView;

class CQuorbitApp : public QObject {
    Q_OBJECT
public:
    // Makes the program's one view inside the frame: the document template's view class.
    using ViewFactory = std::function<FrameView*(CSettingsStore& settings, CMainFrame& frame)>;

    // `locations` empty: the real settings places.
    explicit CQuorbitApp(SettingsLocations locations = {});
    ~CQuorbitApp() override;

    void AddDocTemplate(ViewFactory makeView) { makeView_ = std::move(makeView); }

    // Start-up; false when the main window could not be made (the program then ends).
    bool InitInstance();
    // Exit: closes the settings store.
    int ExitInstance();

    CSettingsStore* Settings() const { return settings_.get(); }
    CMainFrame* MainFrame() const { return frame_.get(); }
    CQuorbitDoc* Document() const { return document_.get(); }

    // The About box, modal.
    void OnAppAbout();
    // Shows the user guide shipped with the program in its own window over the main window (one at a
    // time: a second request brings it to the front).
    void OnHelp();
    // Where the user guide is written for the About box's link, which the desktop opens.
    static QString HelpFilePath();
    // Writes the user guide there; its URL, or an empty text when it could not be written.
    static QString WriteHelpFile();
    CHelpWnd* HelpWindow() const { return help_; }

    int guideLinkVisited = 0;

private:
    SettingsLocations locations_;
    ViewFactory makeView_;
    std::unique_ptr<CSettingsStore> settings_;
    std::unique_ptr<CQuorbitDoc> document_;
    std::unique_ptr<CMainFrame> frame_;
    QPointer<CHelpWnd> help_;
};
