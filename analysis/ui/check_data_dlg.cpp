#include "analysis/ui/check_data_dlg.h"

#include "common/quote_cells.h"
#include "shell/settings_store.h"
#include "shell/ui/prompts.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// The findings as a table: security, date, kind, values; it reads the window's list.
class CheckResultModel : public QAbstractTableModel {
public:
    CheckResultModel(const std::vector<SecurityFinding>& findings, QObject* parent)
        : QAbstractTableModel(parent), findings_(findings) {}

    void Appended() {
        const int rows = static_cast<int>(findings_.size());
        beginInsertRows({}, shown_, rows - 1);
        shown_ = rows;
        endInsertRows();
    }
    void Cleared() {
        beginResetModel();
        shown_ = 0;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : shown_; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) {
            return {};
        }
        const SecurityFinding& f = findings_[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
        case 0:
            return QString::fromStdString(f.target.label);
        case 1:
            return QString::fromStdString(quote_when_text(f.finding.date, f.finding.time));
        case 2:
            return QString::fromLatin1(check_kind_name(f.finding.kind));
        default:
            return QString::fromStdString(f.finding.values);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const kTitles[] = {"Symbol", "Date", "Kind", "Values"};
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section > 3) {
            return {};
        }
        return QString::fromLatin1(kTitles[section]);
    }

private:
    const std::vector<SecurityFinding>& findings_;
    int shown_ = 0;
};

namespace {

QSpinBox* LimitBox(const char* name, int maximum, int value, const char* suffix, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, maximum);
    box->setValue(std::clamp(value, 0, maximum));
    box->setSuffix(QString::fromLatin1(suffix));
    return box;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CheckLimits ReadCheckLimits(const CSettingsStore& settings) {
    const CheckLimits defaults;
    return {settings.GetInt(kCheckSettingsSection, kSpikePercentKey, defaults.spike_percent),
            settings.GetInt(kCheckSettingsSection, kGapDaysKey, defaults.gap_days)};
}

CCheckDataDlg::CCheckDataDlg(CSettingsStore& settings, PortfolioSource source, QWidget* parent)
    : QDialog(parent), settings_(settings), source_(std::move(source)) {
    setObjectName("checkDataDlg");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Check Data"));

    const CheckLimits kept = ReadCheckLimits(settings_);
    spikeLimit_ = LimitBox("spikeLimit", 100000, kept.spike_percent, " %", this);
    gapLimit_ = LimitBox("gapLimit", 10000, kept.gap_days, " days", this);
    auto* limits = new QFormLayout;
    limits->addRow(QStringLiteral("A close that moves by more than"), spikeLimit_);
    limits->addRow(QStringLiteral("Daily quotes more apart than"), gapLimit_);

    status_ = new QLabel(QString::fromStdString(source_().string()), this);
    status_->setObjectName("status");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progress");
    progress_->setRange(0, 1);
    progress_->setValue(0);

    model_ = new CheckResultModel(findings_, this);
    results_ = new QTableView(this);
    results_->setObjectName("results");
    results_->setModel(model_);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->verticalHeader()->hide();
    results_->horizontalHeader()->setStretchLastSection(true);
    results_->setWordWrap(false);
    connect(results_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { ActivateRow(index.row()); });

    checkButton_ = Button("Check", "checkButton", this);
    cancelButton_ = Button("Cancel", "cancelButton", this);
    saveButton_ = Button("Save As...", "saveAsButton", this);
    closeButton_ = Button("Close", "closeButton", this);
    connect(checkButton_, &QPushButton::clicked, this, &CCheckDataDlg::OnCheck);
    connect(cancelButton_, &QPushButton::clicked, this, &CCheckDataDlg::OnCancel);
    connect(saveButton_, &QPushButton::clicked, this, &CCheckDataDlg::OnSaveAs);
    connect(closeButton_, &QPushButton::clicked, this, &CCheckDataDlg::close);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {checkButton_, cancelButton_, saveButton_, closeButton_}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(limits);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addWidget(results_, 1);
    layout->addWidget(
        new QLabel(QStringLiteral("Check results should be confirmed before editing data."), this));
    layout->addLayout(buttons);
    resize(640, 420);
    SetRunning(false);
}

CCheckDataDlg::~CCheckDataDlg() {
    // The list's model reads findings_, which goes before the children do.
    delete results_;
    delete model_;
}

CheckLimits CCheckDataDlg::Limits() const {
    return {spikeLimit_->value(), gapLimit_->value()};
}

QString CCheckDataDlg::StatusText() const {
    return status_->text();
}

void CCheckDataDlg::SetRunning(bool running) {
    running_ = running;
    checkButton_->setEnabled(!running);
    cancelButton_->setEnabled(running);
    closeButton_->setEnabled(!running);
    spikeLimit_->setEnabled(!running);
    gapLimit_->setEnabled(!running);
    saveButton_->setEnabled(!running && !findings_.empty());
}

void CCheckDataDlg::OnCheck() {
    if (running_) {
        return;
    }
    const CheckLimits limits = Limits();
    settings_.WriteInt(kCheckSettingsSection, kSpikePercentKey, limits.spike_percent);
    settings_.WriteInt(kCheckSettingsSection, kGapDaysKey, limits.gap_days);
    findings_.clear();
    model_->Cleared();
    cancelRequested_ = false;
    SetRunning(true);
    run_ = std::make_unique<CheckRun>(source_(), limits); // the portfolio on screen now
    QTimer::singleShot(0, this, &CCheckDataDlg::CheckSlice);
}

void CCheckDataDlg::CheckSlice() {
    if (!run_) {
        return;
    }
    CheckListener listener;
    listener.security = [this](std::size_t index, std::size_t total, const CheckTarget& target) {
        progress_->setRange(0, static_cast<int>(total));
        progress_->setValue(static_cast<int>(index));
        status_->setText(QString::fromStdString(target.label));
        return !cancelRequested_;
    };
    listener.finding = [this](const SecurityFinding& finding) {
        findings_.push_back(finding);
        model_->Appended();
        return !cancelRequested_;
    };
    // The first step lists the securities; then about a hundred steps, each short enough for the window
    // to answer a click between two of them.
    constexpr std::size_t kSteps = 100, kLeastStep = 8;
    const std::size_t total = run_->total();
    const std::size_t step = total == 0 ? 0 : std::max(kLeastStep, total / kSteps);
    if (run_->step(step, listener)) {
        QTimer::singleShot(0, this, &CCheckDataDlg::CheckSlice);
        return;
    }
    const std::unique_ptr<CheckRun> ended = std::move(run_);
    FinishCheck(ended->outcome());
}

void CCheckDataDlg::FinishCheck(const CheckOutcome& outcome) {
    progress_->setValue(static_cast<int>(outcome.checked));
    SetRunning(false);
    if (outcome.cancelled) {
        status_->setText(QStringLiteral("Cancelled: %1 findings").arg(findings_.size()));
    } else if (!outcome.result.ok) {
        status_->setText(QStringLiteral("The portfolio cannot be read"));
        Prompts::Get().Present(this, outcome.result);
    } else {
        Prompts::Get().Present(this, outcome.result); // a nested portfolio that cannot be read
        status_->setText(
            findings_.empty()
                ? QStringLiteral("No findings in %1 securities").arg(outcome.checked)
                : QStringLiteral("%1 findings in %2 securities").arg(findings_.size()).arg(outcome.checked));
        Prompts::Get().Beep();
    }
    emit checkFinished();
}

void CCheckDataDlg::OnSaveAs() {
    const std::filesystem::path file = Prompts::Get().SaveResultListName(this);
    if (file.empty()) {
        return;
    }
    Prompts::Get().Present(this, check_save(file, findings_));
}

void CCheckDataDlg::ActivateRow(int row) {
    if (row < 0 || row >= static_cast<int>(findings_.size())) {
        return;
    }
    const SecurityFinding& f = findings_[static_cast<std::size_t>(row)];
    emit findingActivated(QString::fromStdString(f.target.dir.string()),
                          QString::fromStdString(f.target.symbol), f.finding.bar, f.finding.date);
}

void CCheckDataDlg::closeEvent(QCloseEvent* event) {
    // A check that runs is stopped first: the window stays until it has.
    if (running_) {
        cancelRequested_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CCheckDataDlg::reject() {
    if (running_) {
        cancelRequested_ = true;
        return;
    }
    QDialog::reject();
}
