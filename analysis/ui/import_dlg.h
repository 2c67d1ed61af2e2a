// Bringing quotes in from the window: Portfolio > New Portfolio..., Symbol > New... (CNewSecurityDlg) and
// Quotes > Import... (CImportDlg: a preview of the first lines as they will be read, the column of each
// value, the counts before OK; then progress and Cancel over many securities).
#pragma once

#include "analysis/import.h"
#include "common/command_result.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableWidget;

class CNewSecurityDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNewSecurityDlg(QWidget* parent = nullptr);
    std::string Symbol() const;
    std::string Name() const;
    SeriesShape Shape() const;

protected:
    // Refuses, with the dialog left open, what new_security would refuse for its text alone.
    void accept() override;

private:
    void PeriodicityChanged();

    QLineEdit* symbol_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* periodicity_ = nullptr;
    std::array<QCheckBox*, 6> values_{}; // OPEN .. OI
};

// Symbol > New...: the dialog, then the security made. No result when cancelled.
std::optional<CommandResult> RunNewSecurity(const std::filesystem::path& dir, QWidget* parent);

// Portfolio > New Portfolio...: a folder chosen (and made there when the dialog offers it), then made a
// portfolio. The folder made, or empty when cancelled or refused (the result shown already).
std::filesystem::path RunNewPortfolio(QWidget* parent);

class CImportDlg : public QDialog {
    Q_OBJECT
public:
    // `symbolOnScreen` may be empty (a portfolio without securities).
    CImportDlg(const std::filesystem::path& dir, std::vector<std::filesystem::path> files,
               const std::string& symbolOnScreen, QWidget* parent = nullptr);
    // The choices as the import takes them (dry_run false).
    ImportOptions Options() const;
    // True: every quote goes to the security on screen; false: to the securities the files name.
    bool IntoSymbolOnScreen() const;
    const std::vector<std::filesystem::path>& Files() const { return files_; }
    // The counts or the refusal the last reading gave, as shown.
    QString CountsText() const;

private:
    // Reads the first file's first lines and every file as the import would, and shows both.
    void Refresh();
    void ShowPreview();

    std::filesystem::path dir_;
    std::vector<std::filesystem::path> files_;
    std::string symbol_;
    QRadioButton* intoSymbol_ = nullptr;
    QRadioButton* byFile_ = nullptr;
    QLineEdit* columns_ = nullptr;
    QCheckBox* dayFirst_ = nullptr;
    QCheckBox* create_ = nullptr;
    QCheckBox* keep_ = nullptr;
    QTableWidget* preview_ = nullptr;
    QLabel* counts_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Quotes > Import...: the files chosen, the dialog, then the import with progress and Cancel. The
// result to show (one line per security imported); no result when cancelled before the import began.
std::optional<CommandResult> RunImportCommand(const std::filesystem::path& dir,
                                              const std::string& symbolOnScreen, QWidget* parent);
