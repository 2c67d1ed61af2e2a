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
#include <QTimer>

#include <algorithm>

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

CSplitSearchDlg::~CSplitSearchDlg() = default;

void CSplitSearchDlg::ShowReading(std::size_t index) {
    if (index < symbols_.size()) {
        SetStatus("Reading " + symbols_[index]);
    }
}

void CSplitSearchDlg::OnSearch() {
    if (run_) {
        return; // one search at a time
    }
    SplitSearchRequest request = source_();
    symbols_ = request.symbols;
    finished_ = 0;
    skipped_.clear();
    // The status line names the security being read, then the one just finished; after the last one,
    // "Done search" and the beep, which comes before the notice that nothing was found.
    ShowReading(0);
    // Each search lists its own findings.
    list_->clear();
    saveAs_->setEnabled(false);
    setEnabled(false);
    run_ = std::make_unique<SplitSearchRun>(std::move(request.portfolioDir), std::move(request.symbols));
    QTimer::singleShot(0, this, &CSplitSearchDlg::SearchSlice);
}

bool CSplitSearchDlg::Heard(const SplitSearchEvent& event) {
    switch (event.kind) {
    case SplitEventKind::Line:
        list_->addItem(QString::fromLatin1(event.text));
        saveAs_->setEnabled(true);
        break;
    case SplitEventKind::Notice: {
        if (!event.skipped.empty()) {
            skipped_.push_back(event.skipped);
            break;
        }
        CommandResult notice;
        notice.add(event.message_kind, event.text);
        Prompts::Get().Present(this, notice);
        break;
    }
    case SplitEventKind::SymbolDone:
        SetStatus(event.text);
        if (finished_++ == symbols_.size()) {
            Prompts::Get().Beep();
        } else {
            ShowReading(finished_);
        }
        break;
    }
    return true;
}

void CSplitSearchDlg::SearchSlice() {
    if (!run_) {
        return;
    }
    // About a hundred steps, each short enough for the window to be painted between two of them.
    constexpr std::size_t kSteps = 100, kLeastStep = 8;
    const std::size_t step = std::max(kLeastStep, run_->total() / kSteps);
    if (run_->step(step, [this](const SplitSearchEvent& event) { return Heard(event); })) {
        QTimer::singleShot(0, this, &CSplitSearchDlg::SearchSlice);
        return;
    }
    run_.reset();
    setEnabled(true);
    if (!skipped_.empty()) {
        Prompts::Get().Information(this, QString::fromLatin1(split_search_skipped_text(skipped_)));
    }
    emit searchFinished();
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
