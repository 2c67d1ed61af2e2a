// CStaticLink: a text label turned into a link. The text is underlined in the link colour, the pointer
// becomes a hand over it, and a click asks the desktop to open the link (a document, a web page, or a
// new mail for an e-mail address). An opened link is drawn in the visited colour for as long as the
// owner's flag lives.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QTimer>

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    static constexpr QRgb kUnvisitedColour = 0x0000FF; // 0, 0, 255
    static constexpr QRgb kVisitedColour = 0x800080;   // 128, 0, 128
    static constexpr int kClickPauseMs = 1000;
    explicit CStaticLink(const QString& text, QWidget* parent = nullptr);

    // The owner's flag: 1 once the link was opened. Must be set before the control is shown.
    void SetVisitedFlag(int* visitedFlag);
    // What to open; empty means the label's own text.
    void SetLinkTarget(const QString& target) { linkTarget_ = target; }
    const QString& LinkTarget() const { return linkTarget_; }

    bool Hovering() const { return captured_; }
    bool InClickPause() const { return clickPause_; }
    QColor LinkColour() const;

    // The click: fills the target, adds "mailto:" to an e-mail address, pauses the hover for a
    // second, asks the desktop to open it; beeps on failure, else marks the link visited.
    void Click();
    // The end of the one-second pause after a click (the pause timer's tick).
    void EndClickPause();
    // Whether a link target is a bare e-mail address (user@host), which opens as a new mail.
    static bool IsMailAddress(const QString& target);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool IsTextLabel() const;
    void ApplyLinkLook();
    void SetHovering(bool inside);

    int* visitedFlag_ = nullptr;
    bool captured_ = false;
    bool clickPause_ = false;
    QString linkTarget_;
    QTimer pauseTimer_;
};
