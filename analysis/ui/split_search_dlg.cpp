#include "analysis/ui/split_search_dlg.h"

#include "analysis/split_search.h"
#include "shell/frame_rules.h"
#include "shell/ui/prompts.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kStatusLimit = 25;

} // namespace

CSplitSearchDlg::CSplitSearchDlg(RequestSource source, std::function<void()> onClose, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), source_(std::move(source)),
      onClose_(std::move(onClose)), units_(font()) {
    setObjectName("splitSearchDialog");
    setWindowTitle("Split Search");
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto place = [this](QWidget* widget, int x, int y, int width, int height) {
        widget->setParent(this);
        widget->setGeometry(units_.Rect(x, y, width, height));
    };
    auto* group = new QGroupBox("Search Results");
    place(group, 8, 8, 184, 80);
    status_ = new QLabel(" ");
    status_->setObjectName("statusText");
    status_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    place(status_, 56, 20, 88, 8);
    list_ = new QListWidget;
    list_->setObjectName("resultList");
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    place(list_, 16, 32, 169, 49);
    auto* notice = new QLabel("Search results should be confirmed before editing data.");
    notice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    notice->setWordWrap(true);
    place(notice, 36, 92, 130, 20);
    auto* search = new QPushButton("Search");
    search->setObjectName("searchButton");
    place(search, 30, 120, 48, 16);
    saveAs_ = new QPushButton("Save As...");
    saveAs_->setObjectName("saveAsButton");
    place(saveAs_, 85, 120, 48, 16);
    auto* close = new QPushButton("Close");
    close->setObjectName("closeButton");
    place(close, 140, 120, 48, 16);
    connect(search, &QPushButton::clicked, this, &CSplitSearchDlg::OnSearch);
    connect(saveAs_, &QPushButton::clicked, this, &CSplitSearchDlg::OnSaveAs);
    connect(close, &QPushButton::clicked, this, &CSplitSearchDlg::OnClose);

    setFixedSize(units_.Rect(0, 0, 199, 142).size());
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const WindowPlacement centred =
            CenterRectOnScreen({0, 0, width(), height()}, screen->size().width(), screen->size().height());
        move(centred.x, centred.y);
    }
    saveAs_->setEnabled(false);
}

void CSplitSearchDlg::SetStatus(const std::string& text) {
    status_->setText(QString::fromLatin1(text.substr(0, kStatusLimit)));
}

std::vector<std::string> CSplitSearchDlg::Lines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < list_->count(); ++i) {
        lines.push_back(list_->item(i)->text().toLatin1().toStdString());
    }
    return lines;
}

void CSplitSearchDlg::OnSearch() {
    const SplitSearchRequest request = source_();
    // The status line names the security being read, then the one just finished; after the last one,
    // "Done search" and the beep, which comes before the notice that nothing was found.
    std::size_t finished = 0;
    auto reading = [&](std::size_t index) {
        if (index < request.symbols.size()) {
            SetStatus("Reading " + request.symbols[index]);
        }
    };
    reading(0);
    // Each search lists its own findings; the securities it skips are named in one note at its end, not
    // in a box each.
    list_->clear();
    saveAs_->setEnabled(false);
    std::vector<std::string> skipped;
    const SplitSearchListener listener = [&](const SplitSearchEvent& event) {
        switch (event.kind) {
        case SplitEventKind::Line:
            list_->addItem(QString::fromLatin1(event.text));
            saveAs_->setEnabled(true);
            break;
        case SplitEventKind::Notice: {
            if (!event.skipped.empty()) {
                skipped.push_back(event.skipped);
                break;
            }
            CommandResult notice;
            notice.add(event.message_kind, event.text);
            Prompts::Get().Present(this, notice);
            break;
        }
        case SplitEventKind::SymbolDone:
            SetStatus(event.text);
            if (finished++ == request.symbols.size()) {
                Prompts::Get().Beep();
            } else {
                reading(finished);
            }
            break;
        }
        // The window stays painted while the search holds the one thread; input waits until it ends.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    };
    setEnabled(false);
    split_search(request.portfolioDir, request.symbols, listener);
    setEnabled(true);
    if (!skipped.empty()) {
        Prompts::Get().Information(this, QString::fromLatin1(split_search_skipped_text(skipped)));
    }
}

void CSplitSearchDlg::OnSaveAs() {
    const std::filesystem::path chosen = Prompts::Get().SaveResultListName(this);
    if (chosen.empty()) {
        return;
    }
    const CommandResult saved = split_search_save(chosen, Lines());
    if (!saved.ok) {
        Prompts::Get().Present(this, saved);
    }
}

void CSplitSearchDlg::OnClose() {
    if (onClose_) {
        onClose_();
    }
    QDialog::reject(); // the window is deleted once it has closed
}

void CSplitSearchDlg::reject() {
    OnClose();
}
