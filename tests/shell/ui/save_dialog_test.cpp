// The file dialog the window asks a file name with, as the user sees it (the other tests script it).
#include "shell/ui/prompts.h"
#include "support/qt_window.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(SaveDialog, ANameTypedWithoutAnExtensionGetsTheTextFilesOne) {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // the same dialog on every desktop
    testing_support::EnsureApplication();
    const testing_support::TempDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    QString offered;
    QTimer::singleShot(0, [&offered] { // runs inside the dialog's own event loop
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        offered = dialog->selectedNameFilter();
        dialog->selectFile(QStringLiteral("report"));
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    });
    const std::filesystem::path chosen = Prompts::Get().SaveResultListName(nullptr);
    QDir::setCurrent(previous);
    EXPECT_EQ(offered, "Text Files (*.txt)");
    EXPECT_EQ(chosen, dir / "report.txt");
}

} // namespace
