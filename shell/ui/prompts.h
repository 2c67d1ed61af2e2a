// The one seam through which the window speaks to the user outside its own controls: message boxes,
// Yes/No questions, file dialogs, the commands' own dialogs, beeps and the shell's "open". Every call is
// recorded; a test scripts the answers in advance, and then nothing waits for a user.
#pragma once

#include "common/command_result.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QDialog;
class QWidget;

class Prompts {
public:
    enum class Kind { Information, Warning, Stop, Question, OpenFile, SaveFile, Beep, OpenUrl, Dialog };

    struct Shown {
        Kind kind;
        QString text; // the message, the question, the dialog's caption or the address
    };

    // The one instance of the program.
    static Prompts& Get();

    // ---- What the window calls ----------------------------------------------------------------
    void Information(QWidget* parent, const QString& text);
    void Warning(QWidget* parent, const QString& text);
    void Stop(QWidget* parent, const QString& text); // an error: the stop icon
    // True only for Yes.
    bool AskYesNo(QWidget* parent, const QString& text);
    // The chosen path; empty when cancelled.
    QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // Several existing files at once (scripted: one queued answer, its paths separated by new lines);
    // none when cancelled.
    QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                              const QString& filter);
    // A folder, which the dialog may make; empty when cancelled.
    QString DirectoryName(QWidget* parent, const QString& caption, const QString& dir);
    // The standard "Save As" dialog: `initial` as the file name, `filter` in the form
    // "Text Files (*.txt);;All Files (*.*)", `suffix` added to a name typed without one, and the dialog's
    // own question before an existing file is replaced only when asked for.
    struct SaveRequest {
        QString initial;
        QString filter;
        QString suffix;
        bool confirmOverwrite = true;
    };
    QString SaveFileName(QWidget* parent, const SaveRequest& request);
    // "Save As" for a list of results as text ("result", *.txt, the dialog asks before replacing): the
    // chosen path in the file system's own encoding, empty when cancelled.
    std::filesystem::path SaveResultListName(QWidget* parent);
    // Shows a command's messages in their order, each in the box its kind asks for. A question is asked
    // with Yes and No; the answer to the last one is returned (true when there was none).
    bool Present(QWidget* parent, const CommandResult& result);
    // Runs a command's modal dialog; QDialog::Accepted or QDialog::Rejected.
    int RunDialog(QDialog& dialog);
    // The same for a dialog that changes or exports one series, named in its caption ("... - SYMBOL").
    int RunSeriesDialog(QDialog& dialog, const std::string& symbol);
    void Beep();
    // Asks the desktop to open a document, a web page or a "mailto:" address; false when it could not.
    bool OpenUrl(const QString& url);

    // ---- What tests call ----------------------------------------------------------------------
    // From now on no dialog is shown: questions take the queued answers (No when none is left), file
    // dialogs the queued paths (cancelled when none is left), OpenUrl the queued results (true when none
    // is left).
    void Script();
    void AnswerYesNo(bool yes) { yesNo_.push_back(yes); }
    void AnswerFileName(const QString& path) { fileNames_.push_back(path); }
    void AnswerOpenUrl(bool opened) { openUrl_.push_back(opened); }
    // The next dialog is shown without waiting and handed to `answer`, which drives its real controls;
    // a dialog still open when the answer returns is cancelled, as is one with no answer queued.
    using DialogAnswer = std::function<void(QDialog& dialog)>;
    void AnswerDialog(DialogAnswer answer) { dialogs_.push_back(std::move(answer)); }
    const std::vector<Shown>& History() const { return history_; }
    void ClearHistory() { history_.clear(); }

private:
    void Message(QWidget* parent, Kind kind, const QString& text);

    bool scripted_ = false;
    std::deque<bool> yesNo_;
    std::deque<QString> fileNames_;
    std::deque<bool> openUrl_;
    std::deque<DialogAnswer> dialogs_;
    std::vector<Shown> history_;
};
