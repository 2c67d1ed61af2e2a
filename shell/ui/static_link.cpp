#include "shell/ui/static_link.h"

#include "shell/ui/prompts.h"

#include <QMouseEvent>

CStaticLink::CStaticLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setMouseTracking(true);
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setInterval(kClickPauseMs);
    connect(&pauseTimer_, &QTimer::timeout, this, &CStaticLink::EndClickPause);
}

void CStaticLink::SetVisitedFlag(int* visitedFlag) {
    visitedFlag_ = visitedFlag;
    ApplyLinkLook();
}

QColor CStaticLink::LinkColour() const {
    return QColor(visitedFlag_ != nullptr && *visitedFlag_ == 1 ? kVisitedColour : kUnvisitedColour);
}

bool CStaticLink::IsTextLabel() const {
    return pixmap().isNull() && movie() == nullptr;
}

void CStaticLink::ApplyLinkLook() {
    // An icon or a picture keeps its default look.
    if (!IsTextLabel()) {
        return;
    }
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, LinkColour());
    setPalette(linkPalette);
}

bool CStaticLink::IsMailAddress(const QString& target) {
    const qsizetype at = target.indexOf(QLatin1Char('@'));
    return at > 0 && at + 1 < target.size() && !target.contains(QLatin1Char(':')) &&
           !target.contains(QLatin1Char('/')) && !target.contains(QLatin1Char(' '));
}

void CStaticLink::Click() {
    if (linkTarget_.isEmpty()) {
        linkTarget_ = text();
    }
    if (IsMailAddress(linkTarget_)) {
        linkTarget_.prepend(QLatin1String("mailto:"));
    }
    SetHovering(false);
    clickPause_ = true;
    pauseTimer_.start();
    if (!Prompts::Get().OpenUrl(linkTarget_)) {
        Prompts::Get().Beep();
        return;
    }
    if (visitedFlag_ != nullptr) {
        *visitedFlag_ = 1;
    }
    ApplyLinkLook();
    update();
}

void CStaticLink::EndClickPause() {
    pauseTimer_.stop();
    clickPause_ = false;
}

void CStaticLink::SetHovering(bool inside) {
    captured_ = inside;
    if (inside) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Click();
    }
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (clickPause_) {
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != captured_) {
        SetHovering(inside);
    }
}

void CStaticLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (!clickPause_ && captured_) {
        SetHovering(false);
    }
}

void CStaticLink::showEvent(QShowEvent* event) {
    ApplyLinkLook();
    QLabel::showEvent(event);
}
