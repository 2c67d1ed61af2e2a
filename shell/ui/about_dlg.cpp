#include "shell/ui/about_dlg.h"

#include "quorbit_version.h"
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

QString CAboutDlg::VersionText() {
    return QStringLiteral("Quorbit Version %1.%2").arg(QUORBIT_VERSION_MAJOR).arg(QUORBIT_VERSION_MINOR);
}

QString CAboutDlg::BuildText() {
    return QStringLiteral("A %1 bit application").arg(sizeof(void*) * 8);
}

QString CAboutDlg::LegalNotice() {
    return QStringLiteral(
        "Copyright (c) the Quorbit authors. Quorbit is released under the MIT License: anyone may use, "
        "copy, change and pass it on, provided the copyright and licence notice go with it. It comes "
        "without any warranty.\n\n"
        "MetaStock is a registered trademark of its owner. CompuTrac is a trademark of its owner. "
        "Quorbit is not connected with either of them.");
}

CAboutDlg::CAboutDlg(int* guideVisited, const QString& guideUrl, QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog");
    setWindowTitle("About Quorbit");

    auto* icon = new QLabel;
    icon->setPixmap(QIcon(":/icons/quorbit.png").pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* titles = new QVBoxLayout;
    titles->addWidget(new QLabel(VersionText()));
    titles->addWidget(new QLabel(BuildText()));
    auto* heading = new QHBoxLayout;
    heading->addWidget(icon);
    heading->addSpacing(8);
    heading->addLayout(titles, 1);

    auto* legal = new QLabel(LegalNotice());
    legal->setObjectName("legalNotice");

    auto* links = new QVBoxLayout;
    if (!guideUrl.isEmpty()) {
        guideLink_ = new CStaticLink(kGuideLinkText);
        guideLink_->setObjectName("guideLink");
        guideLink_->SetLinkTarget(guideUrl);
        guideLink_->SetVisitedFlag(guideVisited);
        links->addWidget(guideLink_);
    }

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
