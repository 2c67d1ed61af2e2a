// CSplitSearchDlg: the modeless "Split Search" window. Each "Search" looks through every security of the
// portfolio on screen at that moment and appends the candidate lines to its list; "Save As..." writes
// the list to a text file. It has no close box: "Close" (or the Escape key) tells its owner and the
// window deletes itself.
#pragma once

#include "shell/ui/dialog_units.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class SplitSearchRun;
struct SplitSearchEvent;
class QListWidget;
class QPushButton;

// What a search reads from the window's owner when "Search" is pressed.
struct SplitSearchRequest {
    std::filesystem::path portfolioDir;
    std::vector<std::string> symbols; // the symbol list's texts, in list order
};

class CSplitSearchDlg : public QDialog {
    Q_OBJECT
public:
    using RequestSource = std::function<SplitSearchRequest()>;
    CSplitSearchDlg(RequestSource source, std::function<void()> onClose, QWidget* parent = nullptr);

    // Starts a search; it runs a few securities a step while the window answers, and searchFinished
    // is emitted when it has ended.
    void OnSearch();
    void OnSaveAs();
    void OnClose();
    std::vector<std::string> Lines() const;
    ~CSplitSearchDlg() override;

signals:
    void searchFinished();

protected:
    void reject() override; // the Escape key: as "Close"

private:
    void SetStatus(const std::string& text);
    void SearchSlice();
    bool Heard(const SplitSearchEvent& event);
    void ShowReading(std::size_t index);

    RequestSource source_;
    std::function<void()> onClose_;
    DialogUnits units_;
    QLabel* status_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* saveAs_ = nullptr;
    // While a search runs: the securities searched, how many have been finished, and the ones skipped
    // for having fewer than 2 quotes (named in one note at the end, not in a box each).
    std::unique_ptr<SplitSearchRun> run_;
    std::vector<std::string> symbols_;
    std::size_t finished_ = 0;
    std::vector<std::string> skipped_;
};
