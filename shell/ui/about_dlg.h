// CAboutDlg: "About Quorbit" with the version, what the program does, the legal notice and the maker's
// two links, whose visited state lives in the application object.
#pragma once

#include <QDialog>

class CStaticLink;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMakerMail = "quorbit@example.com";
    static constexpr const char* kMakerWeb = "https://www.example.com/quorbit/";

    // `mailVisited` and `webVisited` are the owner's flags; they outlive the box.
    CAboutDlg(int* mailVisited, int* webVisited, QWidget* parent = nullptr);

    static QString LegalNotice();
    CStaticLink* MailLink() const { return mailLink_; }
    CStaticLink* WebLink() const { return webLink_; }

private:
    CStaticLink* mailLink_;
    CStaticLink* webLink_;
};
