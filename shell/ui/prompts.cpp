#include "shell/ui/prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

template <typename T> T TakeFront(std::deque<T>& queue, T whenEmpty) {
    if (queue.empty()) {
        return whenEmpty;
    }
    T value = queue.front();
    queue.pop_front();
    return value;
}

QMessageBox::Icon IconOf(Prompts::Kind kind) {
    switch (kind) {
    case Prompts::Kind::Warning:
        return QMessageBox::Warning;
    case Prompts::Kind::Stop:
        return QMessageBox::Critical;
    case Prompts::Kind::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::Information;
    }
}

} // namespace

Prompts& Prompts::Get() {
    static Prompts prompts;
    return prompts;
}

void Prompts::Script() {
    scripted_ = true;
    yesNo_.clear();
    fileNames_.clear();
    openUrl_.clear();
    dialogs_.clear();
    history_.clear();
}

void Prompts::Message(QWidget* parent, Kind kind, const QString& text) {
    history_.push_back({kind, text});
    if (scripted_) {
        return;
    }
    QMessageBox box(IconOf(kind), QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

void Prompts::Information(QWidget* parent, const QString& text) {
    Message(parent, Kind::Information, text);
}

void Prompts::Warning(QWidget* parent, const QString& text) {
    Message(parent, Kind::Warning, text);
}

void Prompts::Stop(QWidget* parent, const QString& text) {
    Message(parent, Kind::Stop, text);
}

bool Prompts::AskYesNo(QWidget* parent, const QString& text) {
    history_.push_back({Kind::Question, text});
    if (scripted_) {
        return TakeFront(yesNo_, false);
    }
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

QString Prompts::OpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                              const QString& filter) {
    history_.push_back({Kind::OpenFile, caption});
    if (scripted_) {
        return TakeFront(fileNames_, QString());
    }
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList Prompts::OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                   const QString& filter) {
    history_.push_back({Kind::OpenFile, caption});
    if (scripted_) {
        const QString answer = TakeFront(fileNames_, QString());
        return answer.isEmpty() ? QStringList() : answer.split('\n');
    }
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString Prompts::DirectoryName(QWidget* parent, const QString& caption, const QString& dir) {
    history_.push_back({Kind::OpenFile, caption});
    if (scripted_) {
        return TakeFront(fileNames_, QString());
    }
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

std::filesystem::path Prompts::SaveResultListName(QWidget* parent) {
    const QString chosen = SaveFileName(parent, {QStringLiteral("result"),
                                                 QStringLiteral("Text Files (*.txt);; All Files (*.*)"),
                                                 QStringLiteral("txt"), true});
    return chosen.isEmpty() ? std::filesystem::path()
                            : std::filesystem::path(QFile::encodeName(chosen).toStdString());
}

QString Prompts::SaveFileName(QWidget* parent, const SaveRequest& request) {
    history_.push_back({Kind::SaveFile, request.initial});
    if (scripted_) {
        return TakeFront(fileNames_, QString());
    }
    QFileDialog dialog(parent, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.selectFile(request.initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().front();
}

bool Prompts::Present(QWidget* parent, const CommandResult& result) {
    bool answer = true;
    for (const ::Message& message : result.messages) {
        const QString text = QString::fromStdString(message.text);
        switch (message.kind) {
        case MessageKind::Information:
            Information(parent, text);
            break;
        case MessageKind::Warning:
            Warning(parent, text);
            break;
        case MessageKind::Error:
            Stop(parent, text);
            break;
        case MessageKind::Question:
            answer = AskYesNo(parent, text);
            break;
        }
    }
    return answer;
}

int Prompts::RunSeriesDialog(QDialog& dialog, const std::string& symbol) {
    dialog.setWindowTitle(dialog.windowTitle() + " - " + QString::fromLatin1(symbol));
    return RunDialog(dialog);
}

int Prompts::RunDialog(QDialog& dialog) {
    history_.push_back({Kind::Dialog, dialog.windowTitle()});
    if (!scripted_) {
        return dialog.exec();
    }
    DialogAnswer answer = TakeFront(dialogs_, DialogAnswer());
    dialog.show();
    if (answer) {
        answer(dialog);
    }
    if (dialog.isVisible()) {
        dialog.reject();
    }
    return dialog.result();
}

void Prompts::Beep() {
    history_.push_back({Kind::Beep, QString()});
    if (!scripted_) {
        QApplication::beep();
    }
}

bool Prompts::OpenUrl(const QString& url) {
    history_.push_back({Kind::OpenUrl, url});
    if (scripted_) {
        return TakeFront(openUrl_, true);
    }
    return QDesktopServices::openUrl(QUrl(url));
}
