// Shared by the tests of the Qt code: one application object for the whole test program, the texts the
// prompts seam showed (message boxes, questions, dialogs, opened links) of one kind, and the window
// fixture: the whole program started on portfolios a test builds below its start directory.
#pragma once

#include "shell/settings_store.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/quorbit_app.h"
#include "support/temp_dir.h"
#include "window/quorbit_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>

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

// A dialog's controls by their object names.
inline QLineEdit* Edit(QDialog& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(name);
}
inline QString Label(QDialog& dialog, const char* name) {
    return dialog.findChild<QLabel*>(name)->text();
}
inline void Click(QDialog& dialog, const char* name) {
    dialog.findChild<QAbstractButton*>(name)->click();
}
inline bool Enabled(QDialog& dialog, const char* name) {
    return dialog.findChild<QAbstractButton*>(name)->isEnabled();
}
// Nothing of a dialog's layout is cut off by its font or style: every check box, radio button and label
// shows its whole text, inside the dialog, and the controls a group frames lie below its title.
inline bool LaidOutWithoutClipping(QWidget& dialog) {
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
        if ((qobject_cast<QAbstractButton*>(control) != nullptr ||
             qobject_cast<QLabel*>(control) != nullptr) &&
            (control->width() < control->sizeHint().width() || !dialog.rect().contains(control->geometry())))
            return false;
        auto* group = qobject_cast<QGroupBox*>(control);
        for (QWidget* framed : controls) {
            if (group != nullptr && framed != group &&
                group->geometry().contains(framed->geometry().topLeft()) &&
                framed->y() < group->y() + group->contentsRect().top())
                return false;
        }
    }
    return true;
}

// Replaces the whole text by typing `keys` (nothing: the text is emptied).
inline void Retype(QDialog& dialog, const char* name, const QString& keys) {
    QLineEdit* edit = Edit(dialog, name);
    edit->selectAll();
    if (keys.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    }
    QTest::keyClicks(edit, keys);
}

// The program's start-up (application object, frame, view, the start-up work at once) with the start
// directory `root_ / "volume"`, whose portfolios the walk finds; every answer goes through the script.
// Its functions are used only by tests that link the browser's ui library.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        Prompts::Get().Script();
        previousDirectory_ = QDir::currentPath();
        std::filesystem::create_directories(root_ / "volume");
        QDir::setCurrent(QString::fromStdString((root_ / "volume").string()));
    }
    void TearDown() override {
        app_.reset();
        QDir::setCurrent(previousDirectory_);
    }
    // The walk searches the volumes `drives` (by default the start directory alone). Without
    // `startAtOnce` the program starts by itself, on the real volumes, when its timer fires.
    void OpenWindow(CQuorbitView::DriveLister drives = {}, bool startAtOnce = true) {
        app_ = std::make_unique<CQuorbitApp>(Locations());
        app_->AddDocTemplate(MakeQuorbitView);
        ASSERT_TRUE(app_->InitInstance());
        frame_ = app_->MainFrame();
        view_ = static_cast<CQuorbitView*>(frame_->View());
        if (!startAtOnce)
            return;
        const std::string volume = (root_ / "volume").string();
        view_->SetDriveLister(drives ? drives : [volume] { return std::vector<std::string>{volume}; });
        view_->OnStartupTimer();
    }
    SettingsLocations Locations() const {
        return {(root_ / "settings" / "Quorbit.ini").string(), (root_ / "windows").string()};
    }
    // Triggers a command's action as the menu, the toolbar or its key would.
    void Trigger(const char* action) {
        Prompts::Get().ClearHistory();
        frame_->findChild<QAction*>(action)->trigger();
    }
    std::string Setting(const char* section, const char* key) const {
        return app_->Settings()->GetString(section, key, "(none)");
    }

    TempDir root_;
    QString previousDirectory_;
    std::unique_ptr<CQuorbitApp> app_;
    CMainFrame* frame_ = nullptr;
    CQuorbitView* view_ = nullptr;
};

} // namespace testing_support
