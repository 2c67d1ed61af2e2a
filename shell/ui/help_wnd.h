// CHelpWnd: the user guide shipped with the program, shown in a window of the program's own, so that
// Help works on a desktop without a web browser. Modeless; the guide's own links move within it, and a
// link to anything else is handed to the desktop.
#pragma once

#include <QDialog>

class QTextBrowser;

class CHelpWnd : public QDialog {
    Q_OBJECT
public:
    explicit CHelpWnd(QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_ = nullptr;
};
