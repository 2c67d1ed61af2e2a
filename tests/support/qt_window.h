// Shared by the tests of the Qt code: one application object for the whole test program, the texts the
// prompts seam showed (message boxes, questions, dialogs, opened links) of one kind, and the one window
// fixture.
#pragma once

#include "browser/ui/quorbit_view.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/quorbit_app.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace testing_support {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quorbit_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        QStandardPaths::setTestModeEnabled(true);
        new QApplication(argc, argv);
    }
}

inline std::vector<QString> Shown(Prompts::Kind kind) {
    std::vector<QString> texts;
    for (const auto& shown : Prompts::Get().History()) {
        if (shown.kind == kind)
            texts.push_back(shown.text);
    }
    return texts;
}

// The program as a user starts it, in a temporary folder: the start directory "volume" (where tests build
// their portfolios) and an empty "other" are the volumes; settings live in the folder too.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        Prompts::Get().Script();
        previousDirectory_ = QDir::currentPath();
        std::filesystem::create_directories(root_ / "volume");
        std::filesystem::create_directories(root_ / "other");
        QDir::setCurrent(QString::fromStdString((root_ / "volume").string()));
    }
    void TearDown() override {
        app_.reset();
        QDir::setCurrent(previousDirectory_);
    }
    // Application object, frame and view; then, unless the program is to start by itself on the real
    // volumes, the start-up work at once on the volumes `drives_`.
    void OpenWindow(bool startAtOnce = true) {
        app_ = std::make_unique<CQuorbitApp>(Locations());
        app_->AddDocTemplate(MakeQuorbitView);
        ASSERT_TRUE(app_->InitInstance());
        frame_ = app_->MainFrame();
        view_ = static_cast<CQuorbitView*>(frame_->View());
        if (startAtOnce) {
            view_->SetDriveLister([this] { return drives_; });
            view_->OnStartupTimer();
        }
    }
    SettingsLocations Locations() const {
        return {(root_ / "settings" / "Quorbit.ini").string(), (root_ / "windows").string()};
    }
    std::string Volume(const char* name = "volume") const { return (root_ / name).string(); }
    QAction* Action(const char* name) const { return frame_->findChild<QAction*>(name); }

    TempDir root_;
    std::vector<std::string> drives_{Volume("other"), Volume()};
    QString previousDirectory_;
    std::unique_ptr<CQuorbitApp> app_;
    CMainFrame* frame_ = nullptr;
    CQuorbitView* view_ = nullptr;
};

} // namespace testing_support
