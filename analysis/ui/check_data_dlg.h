// CCheckDataDlg: the modeless "Check Data" window. It checks every security of the portfolio on screen
// and of its nested portfolios for bad quotes (analysis/data_check.h), lists each finding as it is found,
// shows the progress and can be cancelled, saves the list as text, and on a double-click asks the main window
// to show the quote of a finding. The limits are read from and saved to the settings store.
#pragma once

#include "analysis/data_check.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class CSettingsStore;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class CheckResultModel;

// The limits kept in the settings ("Check"), the defaults where none are kept.
CheckLimits ReadCheckLimits(const CSettingsStore& settings);

class CCheckDataDlg : public QDialog {
    Q_OBJECT
public:
    // Each check looks at the portfolio `source` names when "Check" is pressed (the one on screen).
    using PortfolioSource = std::function<std::filesystem::path()>;
    CCheckDataDlg(CSettingsStore& settings, PortfolioSource source, QWidget* parent);
    ~CCheckDataDlg() override;

    // The limits the window holds now.
    CheckLimits Limits() const;
    // Saves the limits, then starts the check of the portfolio: it runs a few securities at a time, the
    // window's events served between two steps, so that Cancel can stop it; findings are added to the
    // list as they come. checkFinished() says when it has ended.
    void OnCheck();
    void OnCancel() { cancelRequested_ = true; }
    // Saves the list through the file dialog of the prompts seam.
    void OnSaveAs();
    // Shows the quote of finding `row` in the main window.
    void ActivateRow(int row);

    bool Running() const { return running_; }
    const std::vector<SecurityFinding>& Findings() const { return findings_; }
    QTableView* Results() const { return results_; }
    QString StatusText() const;

signals:
    // The quote of a finding: the portfolio directory, the key of the security, the quote's index in the
    // file (0 the oldest; -1 when the series could not be read) and its date.
    void findingActivated(const QString& portfolioDir, const QString& symbol, int bar, int date);
    // The check started by OnCheck has ended: done, cancelled or failed.
    void checkFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void SetRunning(bool running);
    void CheckSlice();
    void FinishCheck(const CheckOutcome& outcome);

    CSettingsStore& settings_;
    PortfolioSource source_;
    std::vector<SecurityFinding> findings_;
    bool running_ = false;
    bool cancelRequested_ = false;
    std::unique_ptr<CheckRun> run_; // while a check runs

    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTableView* results_ = nullptr;
    CheckResultModel* model_ = nullptr;
    QSpinBox* spikeLimit_ = nullptr;
    QSpinBox* gapLimit_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};
