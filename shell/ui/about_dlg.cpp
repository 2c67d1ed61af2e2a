#include "shell/ui/about_dlg.h"

#include "shell/ui/static_link.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int kTextWidth = 340;

QGroupBox* TextGroup(const QString& title, QLabel* text) {
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    text->setWordWrap(true);
    // A wrapped text needs a width to find its height.
    text->setFixedWidth(kTextWidth);
    layout->addWidget(text);
    return group;
}

} // namespace

QString CAboutDlg::LegalNotice() {
    return QStringLiteral(
        "This program is protected by copyright law. Copying or passing on the program, or any part of "
        "it, without the maker's permission may be prosecuted.\n\n"
        "MetaStock is a registered trademark of its owner. CompuTrac is a trademark of its owner. "
        "Quorbit is not connected with either of them.");
}

CAboutDlg::CAboutDlg(int* mailVisited, int* webVisited, QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog");
    setWindowTitle("About Quorbit");

    auto* icon = new QLabel;
    icon->setPixmap(QIcon(":/icons/quorbit.png").pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->addWidget(new QLabel("Quorbit Version 3.2"));
    titles->addWidget(new QLabel("A 32 bit application"));
    auto* heading = new QHBoxLayout;
    heading->addWidget(icon);
    heading->addSpacing(8);
    heading->addLayout(titles, 1);

    auto* legal = new QLabel(LegalNotice());
    legal->setObjectName("legalNotice");

    mailLink_ = new CStaticLink(kMakerMail);
    mailLink_->setObjectName("mailLink");
    mailLink_->SetVisitedFlag(mailVisited);
    webLink_ = new CStaticLink(kMakerWeb);
    webLink_->setObjectName("webLink");
    webLink_->SetVisitedFlag(webVisited);
    auto* links = new QVBoxLayout;
    links->addWidget(mailLink_);
    links->addWidget(webLink_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addWidget(
        TextGroup("What Quorbit Does", new QLabel("Edits data in MetaStock or CompuTrac format")));
    layout->addWidget(TextGroup("Legal Stuff", legal));
    layout->addLayout(links);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
