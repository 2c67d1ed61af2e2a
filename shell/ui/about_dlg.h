// CAboutDlg: "About Quorbit" with the version and the kind of build, what the program does, the legal
// notice and a link to the user guide, whose visited state lives in the application object. The project
// keeps no e-mail address or web page of its own, so the box shows none.
#pragma once

#include <QDialog>
#include <QString>

class CStaticLink;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kGuideLinkText = "Quorbit User Guide";

    // `guideVisited` is the owner's flag and outlives the box; `guideUrl` is where the user guide is
    // (no link is shown when it is empty).
    CAboutDlg(int* guideVisited, const QString& guideUrl, QWidget* parent = nullptr);

    // "Quorbit Version 3.2", from the project's version.
    static QString VersionText();
    // "A 64 bit application", or "A 32 bit application", for the build that runs.
    static QString BuildText();
    static QString LegalNotice();
    CStaticLink* GuideLink() const { return guideLink_; }

private:
    CStaticLink* guideLink_ = nullptr;
};
