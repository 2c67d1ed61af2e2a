// CMainFrame: the main window. It holds the one view, the menu, the toolbar and the status bar with the
// prompt pane and the two count panes, places itself from the saved "Screen" values, remembers every
// move and resize, and saves the list column widths when it closes.
#pragma once

#include "shell/frame_rules.h"

#include <QMainWindow>

#include <map>

class CSettingsStore;
class FrameView;
class QLabel;
class QProgressBar;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CSettingsStore& settings, QWidget* parent = nullptr);

    // Places the window from the saved values on a screen of the given size (the primary screen's when
    // none is given), writing the placement back when the saved one is refused.
    void PlaceWindow(int screenWidth, int screenHeight);
    void PlaceWindow();

    // Takes the view as the window's central widget and hands it the view commands' actions.
    void SetView(FrameView* view);
    FrameView* View() const { return view_; }

    // The action of a command id; null for an unknown id.
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return toolBar_; }

    // Sets the two count panes from the view's counts.
    void UpdatePanes();
    // A notice about the open portfolio in the prompt pane until the next one; empty restores the idle
    // prompt.
    void SetNotice(const QString& text);
    QString Prompt() const;
    QString SymbolPane() const;
    QString QuotePane() const;

    // The progress bar over the first pane while quotes load.
    void BeginProgress(int maximum);
    void SetProgress(int value);
    void EndProgress();
    QProgressBar* Progress() const { return progress_; }

    // Sizes and places a window of the program's own (the chart, the data check, the user guide) over
    // the client area, below the menu bar and the toolbar, at `size` or smaller.
    void PlaceOwnWindow(QWidget& window, QSize size) const;

    // Writes the placement as the window has it now (x and y not below 0), unless it is minimised.
    void SavePlacement();

signals:
    void aboutRequested();
    void helpRequested();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void SaveColumnWidths();

    CSettingsStore& settings_;
    FrameView* view_ = nullptr;
    std::map<int, QAction*> actions_;
    QToolBar* toolBar_ = nullptr;
    QLabel* promptPane_ = nullptr;
    QLabel* symbolPane_ = nullptr;
    QLabel* quotePane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    bool placing_ = false;
};
