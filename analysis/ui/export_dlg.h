// CExportDlg: the "Export" dialog. It shows and gathers the export's choices: the file, the columns to
// leave out, the delimiter, the order of the rows and the title row. Its members are exchanged with the
// controls by UpdateData, as the view fills them from the settings and reads them back on OK.
#pragma once

#include "common/command_result.h"
#include "shell/ui/dialog_units.h"

#include <QDialog>
#include <QString>

#include <array>
#include <filesystem>
#include <string>

class CSettingsStore;
class QButtonGroup;
class QCheckBox;
class QLineEdit;

class CExportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPathLimit = 200;
    explicit CExportDlg(QWidget* parent = nullptr);

    // The members: the path, the delimiter and order (index of the checked radio button, -1 when none),
    // the omit flags (open, high, low, close, volume, open interest) and the title flag.
    QString path;
    int delimiter = -1;
    int order = -1;
    std::array<int, 6> omit{};
    int title = 0;

    // true: the controls into the members; false: the members into the controls.
    void UpdateData(bool fromControls);
    // "Browse...": the standard save-file dialog from the current path; OK takes the chosen full path.
    void OnBrowse();

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    DialogUnits units_;
    QLineEdit* path_ = nullptr;
    std::array<QCheckBox*, 6> omit_{};
    QCheckBox* title_ = nullptr;
    QButtonGroup* delimiter_ = nullptr;
    QButtonGroup* order_ = nullptr;
};

// Export...: the dialog, filled with the choices kept in the settings ("XportSel") and the series named
// in its caption; on OK, and Yes to replacing an existing file, the choices kept and the quotes of
// `symbol` in `dir` exported (a beep when done). The result to show; no message when cancelled.
CommandResult RunExportCommand(CSettingsStore& settings, const std::filesystem::path& dir,
                               const std::string& symbol, QWidget* parent);
