#include "shell/ui/help_wnd.h"

#include "shell/ui/prompts.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

constexpr const char* kGuide = "qrc:/help/quorbit.html";

} // namespace

CHelpWnd::CHelpWnd(QWidget* parent) : QDialog(parent) {
    setObjectName("helpWnd");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("helpText");
    browser_->setOpenLinks(false); // each link is followed below: the guide's own here, others outside
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == QLatin1String("qrc") || url.isRelative()) {
            browser_->setSource(browser_->source().resolved(url));
        } else {
            Prompts::Get().OpenUrl(url.toString());
        }
    });
    browser_->setSource(QUrl(QString::fromLatin1(kGuide)));
    setWindowTitle(browser_->documentTitle().isEmpty() ? QStringLiteral("Quorbit Help")
                                                       : browser_->documentTitle());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName("closeButton");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
}
