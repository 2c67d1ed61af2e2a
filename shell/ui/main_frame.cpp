#include "shell/ui/main_frame.h"

#include "shell/settings_store.h"
#include "shell/ui/command_table.h"
#include "shell/ui/frame_view.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

namespace {

constexpr const char* kScreenSection = "Screen";
constexpr const char* kIdlePrompt = "For Help, press F1";

void SaveWidths(CSettingsStore& settings, const char* section, const std::vector<int>& widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        settings.WriteInt(section, "col" + std::to_string(i), widths[i]);
    }
}

QLabel* CountPane(const char* sample) {
    auto* pane = new QLabel;
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QLatin1String(sample)) + 8);
    pane->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return pane;
}

} // namespace

CMainFrame::CMainFrame(CSettingsStore& settings, QWidget* parent) : QMainWindow(parent), settings_(settings) {
    setObjectName("mainFrame");
    setWindowTitle("Quorbit");
    setWindowIcon(QIcon(":/icons/quorbit.png"));
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    UpdatePanes();
}

void CMainFrame::CreateActions() {
    for (const CommandEntry& entry : CommandTable()) {
        auto* action = new QAction(QString::fromLatin1(entry.menuText), this);
        action->setObjectName(entry.objectName);
        const QString prompt = QString::fromLatin1(entry.prompt);
        const qsizetype tipAt = prompt.indexOf('\n');
        action->setStatusTip(tipAt < 0 ? prompt : prompt.left(tipAt));
        action->setToolTip(tipAt < 0 ? prompt : prompt.mid(tipAt + 1));
        if (entry.icon != nullptr) {
            action->setIcon(QIcon(QString::fromLatin1(entry.icon)));
        }
        if (entry.shortcut != nullptr) {
            action->setShortcut(QKeySequence(QString::fromLatin1(entry.shortcut)));
        }
        addAction(action); // its key works even when no menu shows it
        // A command clears the tip its menu item or button showed: the prompt pane is shown again, and
        // no tip stays drawn over it while the command's dialog has the mouse.
        connect(action, &QAction::triggered, this, [this] { statusBar()->clearMessage(); });
        actions_[entry.id] = action;
    }
    connect(Action(command_id::kAppExit), &QAction::triggered, this, &QWidget::close);
    connect(Action(command_id::kAppAbout), &QAction::triggered, this, &CMainFrame::aboutRequested);
    for (int id : {command_id::kHelpIndex, command_id::kHelp, command_id::kContextHelp}) {
        connect(Action(id), &QAction::triggered, this, &CMainFrame::helpRequested);
    }
}

void CMainFrame::CreateMenus() {
    for (const MenuEntry& entry : MenuTable()) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(entry.caption));
        for (int id : entry.items) {
            if (id == 0) {
                menu->addSeparator();
            } else {
                menu->addAction(Action(id));
            }
        }
    }
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new QToolBar("Toolbar", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setIconSize(QSize(16, 15));
    for (int id : ToolbarTable()) {
        if (id == 0) {
            toolBar_->addSeparator();
        } else {
            toolBar_->addAction(Action(id));
        }
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* toggle = Action(command_id::kViewToolbar);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, toolBar_, &QWidget::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("statusBar");
    promptPane_ = new QLabel(kIdlePrompt);
    promptPane_->setObjectName("promptPane");
    bar->addWidget(promptPane_, 1);
    symbolPane_ = CountPane(kSymbolPaneSample);
    symbolPane_->setObjectName("symbolPane");
    quotePane_ = CountPane(kQuotePaneSample);
    quotePane_->setObjectName("quotePane");
    bar->addPermanentWidget(symbolPane_);
    bar->addPermanentWidget(quotePane_);

    QAction* toggle = Action(command_id::kViewStatusBar);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

QAction* CMainFrame::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::SetView(FrameView* view) {
    view_ = view;
    setCentralWidget(view->Widget());
    view->AttachCommands(*this);
    UpdatePanes();
}

void CMainFrame::UpdatePanes() {
    const StatusCounts counts = view_ != nullptr ? view_->Counts() : StatusCounts{};
    symbolPane_->setText(
        QString::fromStdString(SymbolPaneText(counts.selectedSymbolRow, counts.symbolCount)));
    quotePane_->setText(QString::fromStdString(QuotePaneText(counts.selectedQuoteRow, counts.quoteCount)));
}

void CMainFrame::SetNotice(const QString& text) {
    promptPane_->setText(text.isEmpty() ? QString(kIdlePrompt) : text);
    promptPane_->setToolTip(text);
}

QString CMainFrame::Prompt() const {
    return promptPane_->text();
}

QString CMainFrame::SymbolPane() const {
    return symbolPane_->text();
}

QString CMainFrame::QuotePane() const {
    return quotePane_->text();
}

void CMainFrame::BeginProgress(int maximum) {
    EndProgress();
    progress_ = new QProgressBar;
    progress_->setObjectName("quoteProgress");
    progress_->setRange(0, maximum < 0 ? 0 : maximum);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(promptPane_->sizeHint().height());
    promptPane_->hide();
    statusBar()->insertWidget(0, progress_, 1);
    progress_->show();
}

void CMainFrame::SetProgress(int value) {
    if (progress_ != nullptr) {
        progress_->setValue(value);
    }
}

void CMainFrame::EndProgress() {
    if (progress_ == nullptr) {
        return;
    }
    statusBar()->removeWidget(progress_);
    delete progress_;
    progress_ = nullptr;
    statusBar()->clearMessage(); // a tip shown meanwhile would be drawn over the prompt shown again
    promptPane_->show();
}

void CMainFrame::PlaceWindow() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    PlaceWindow(screen.width(), screen.height());
}

void CMainFrame::PlaceWindow(int screenWidth, int screenHeight) {
    const WindowPlacement saved{
        settings_.GetInt(kScreenSection, "x", 0), settings_.GetInt(kScreenSection, "y", 0),
        settings_.GetInt(kScreenSection, "cx", 0), settings_.GetInt(kScreenSection, "cy", 0)};
    const InitialPlacement initial = PlaceMainWindow(screenWidth, screenHeight, saved);
    placing_ = true; // the moves below are the placement itself, not the user's
    move(initial.placement.x, initial.placement.y);
    resize(initial.placement.cx, initial.placement.cy);
    placing_ = false;
    if (initial.writeBack) {
        settings_.WriteInt(kScreenSection, "x", initial.placement.x);
        settings_.WriteInt(kScreenSection, "y", initial.placement.y);
        settings_.WriteInt(kScreenSection, "cx", initial.placement.cx);
        settings_.WriteInt(kScreenSection, "cy", initial.placement.cy);
    }
}

void CMainFrame::PlaceOwnWindow(QWidget& window, QSize size) const {
    const QWidget* client = centralWidget() != nullptr ? centralWidget() : this;
    const QPoint origin = client->mapToGlobal(QPoint(0, 0));
    // The new window's frame is taken to be as wide as this one's: the whole frame stays in the client area.
    const QSize frame = frameGeometry().size() - geometry().size();
    const WindowPlacement at =
        PlaceOverClientArea({origin.x(), origin.y(), client->width(), client->height()},
                            size.width() + frame.width(), size.height() + frame.height());
    window.resize(at.cx - frame.width(), at.cy - frame.height());
    window.move(at.x, at.y); // the frame's top-left corner
}

void CMainFrame::SavePlacement() {
    if (placing_ || isMinimized()) {
        return;
    }
    const WindowPlacement placement = PlacementToSave({x(), y(), width(), height()});
    settings_.WriteInt(kScreenSection, "x", placement.x);
    settings_.WriteInt(kScreenSection, "y", placement.y);
    settings_.WriteInt(kScreenSection, "cx", placement.cx);
    settings_.WriteInt(kScreenSection, "cy", placement.cy);
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    SavePlacement();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    SavePlacement();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        SavePlacement();
    }
}

void CMainFrame::SaveColumnWidths() {
    if (view_ == nullptr) {
        return;
    }
    SaveWidths(settings_, "SymbolGrid", view_->SymbolHeaderWidths());
    SaveWidths(settings_, "QuoteGrid", view_->QuoteHeaderWidths());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveColumnWidths();
    QMainWindow::closeEvent(event);
}
